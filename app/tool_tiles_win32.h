// The process-wide tool tile list, written by the tool-tile thread before it
// sends WM_TOOLTILES_READY and read by the UI thread while handling it.
#pragma once

#include <vector>

#include "app/tool_tiles.h"

namespace kavi {

void PublishToolTiles();
const std::vector<ToolTile>& PublishedToolTiles();

}  // namespace kavi
