#include "app/tool_tiles.h"

#include "host/text.h"

namespace kavi {

std::vector<ToolTile> ProgramToolTiles() {
  return {
      {L"资料备份", L"备份或还原个人资料", L"data.png"},
      {L"清理缓存", L"清理本软件的缓存文件", L"clean.png"},
  };
}

std::wstring TileIconAttributes(const std::wstring& icon) {
  return Format(L"bkimage=\"file='%ls' dest='26,16,62,52' source='0,0,0,0'\"", icon.c_str());
}

}  // namespace kavi
