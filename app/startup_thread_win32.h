// The threads the main window starts while it initialises.
#pragma once

#include <windows.h>

namespace kavi {

// The start-up check: update offer, start report, GPT check, catalogue,
// work drive; leaves its verdict in StartupStatusValue().
void StartStartupThread(HWND mainWindow);

// Assembles the tool tile list and sends WM_TOOLTILES_READY.
void StartToolTileThread(HWND mainWindow);

}  // namespace kavi
