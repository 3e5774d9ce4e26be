// The tool tiles of the right panel: what each is, and its button's
// attributes.
#pragma once

#include <string>
#include <vector>

namespace kavi {

struct ToolTile {
  std::wstring caption;
  std::wstring tooltip;
  std::wstring icon;  // file in the skin archive
};

enum ToolTileIndex { kTileDataBackup = 0, kTileCleanCache = 1 };

// The tiles in order; their position is their index.
std::vector<ToolTile> ProgramToolTiles();

// The background attribute list that draws the icon into 26,16-62,52.
std::wstring TileIconAttributes(const std::wstring& icon);

}  // namespace kavi
