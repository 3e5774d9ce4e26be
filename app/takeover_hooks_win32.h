// What the main window asks of the boot takeover: its set-up, the bottom
// menu's backup and restore commands, and the reinstall hand-off of a
// verified image.
#pragma once

#include <windows.h>

#include <string>

namespace kavi {

// Builds the disk map, writes the boot tools and initialises the boot
// settings from the working paths, on a worker: no window shows any of it.
// Called once on the UI thread after the working-path set-up; the commands
// below wait for the worker before they read the map or the settings.
void StartBootSetUp();

// The bottom menu's commands; each runs to its end on the UI thread,
// including the restart it may request.
void RunSystemBackup(HWND mainWindow);
void RunSystemRestore(HWND mainWindow);

// Prepares the next boot to load `imagePath` onto the system partition and
// requests the restart. False, with the user told why and nothing armed,
// when the takeover could not be prepared.
bool HandOverImage(HWND mainWindow, const std::wstring& imagePath);

// Tells the user, once, that the last task of the restore environment failed
// and whether the system was changed (its log in the work folder).
void ReportLastRestoreFailure(HWND mainWindow);

}  // namespace kavi
