// The threads the main window starts while it initialises.
#pragma once

#include <windows.h>

namespace kavi {

// The working paths' set-up (host facts, work drive, folders) on a worker
// from the process's start, so that it overlaps the window's creation.
void StartWorkingPathSetUp();
// Waits for that set-up; without a worker it runs here.
void WaitForWorkingPathSetUp();

// The start-up check: update offer, start report, GPT check, catalogue,
// work drive; leaves its verdict in StartupStatusValue().
void StartStartupThread(HWND mainWindow);

// Called on the UI thread once the last task's report is closed, or there
// was none: the update question waits for it, so the two are never open at
// once as two modal boxes.
void AllowUpdateQuestion();

// Assembles the tool tile list and sends WM_TOOLTILES_READY.
void StartToolTileThread(HWND mainWindow);

}  // namespace kavi
