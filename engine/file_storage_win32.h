// The engine's files on Windows: "NAME.td" for the data, "NAME.td.cfg" for
// the resume state, both beside the final file in the save folder.
#pragma once

#include <memory>
#include <string>

#include "engine/task_storage.h"

namespace kavi {
namespace engine {

std::unique_ptr<TaskStorage> CreateFileStorage(const std::wstring& folder,
                                               const std::wstring& fileName);

// Deletes the data and state files of a download.
bool DeletePartialFiles(const std::wstring& folder, const std::wstring& fileName);

}  // namespace engine
}  // namespace kavi
