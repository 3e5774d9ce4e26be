#include "app/tool_tiles_win32.h"

#include <atomic>

#include "app/main_window_win32.h"
#include "databackup/backup_window_win32.h"
#include "host/cache_cleaner.h"
#include "host/text.h"

namespace kavi {
namespace {

std::vector<ToolTile>& TileList() {
  static std::vector<ToolTile> tiles;
  return tiles;
}

// Release/acquire pairing on top of SendMessage's own ordering.
std::atomic<bool> g_published{false};

}  // namespace

void PublishToolTiles() {
  std::vector<ToolTile>& list = TileList();
  for (ToolTile& tile : ProgramToolTiles()) list.push_back(std::move(tile));
  g_published.store(true, std::memory_order_release);
}

const std::vector<ToolTile>& PublishedToolTiles() {
  static const std::vector<ToolTile> none;
  return g_published.load(std::memory_order_acquire) ? TileList() : none;
}

void CFrameWindowWnd::BuildToolTiles() {
  if (!c_.tilesoft) return;
  c_.tilesoft->RemoveAll();
  const std::vector<ToolTile>& tiles = PublishedToolTiles();
  for (size_t i = 0; i < tiles.size(); ++i) {
    SkinUI::SkinBuilder builder;
    SkinUI::CControlUI* tile = builder.Create(L"tile.xml");
    if (!tile) continue;
    if (!c_.tilesoft->AddAt(tile, static_cast<int>(i))) {
      delete tile;
      break;
    }
    SkinUI::CButtonUI* button = nullptr;
    BindToolTile(tile, &button);
    if (!button) continue;
    button->SetUserData(Format(L"%d", static_cast<int>(i)));
    button->SetText(tiles[i].caption);
    button->SetToolTip(tiles[i].tooltip);
    button->ApplyAttributeList(TileIconAttributes(tiles[i].icon).c_str());
  }
}

void CFrameWindowWnd::OnToolTile(int index) {
  if (index == kTileDataBackup) {
    ShowDataBackupWindow(hwnd_);
  } else if (index == kTileCleanCache) {
    if (Ask(L"是否确定删除本软件的缓存文件(包括下载产生的临时文件)", L"提示", MB_YESNO) == IDYES) {
      CleanCache();
      Ask(L"清理缓存成功", L"提示", MB_OK);
    }
  }
}

}  // namespace kavi
