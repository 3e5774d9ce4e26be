// What a load keeps on the system partition while it writes, so that a
// power cut or a crash brings the machine back to the agent, which then
// writes the image again from the start: the boot files as the takeover left
// them (the boot menu still pointing at our entry), the loader, KV.ima, the
// task, and the progress marker "Ghost.run".
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "restore/agent/volume_files.h"

namespace kavi {
namespace restore {

constexpr const char* kProgressMarker = "Ghost.run";

// The root entries kept across the format; BootFileNames() among them.
const std::vector<std::string>& ResumeFileNames();
// Those that exist only for the task and leave once it is done.
const std::vector<std::string>& TaskOnlyFileNames();

// "KAVI-PROGRESS 1" and "step=NAME", CR LF ended.
std::string ProgressMarkerText(const std::string& step);
// The step a marker names; none for other text.
std::optional<std::string> ProgressMarkerStep(const std::string& text);

// The root names of an image, lower-cased, from `wimlib-imagex dir` output
// (one absolute path a line).
std::set<std::string> ImageRootNames(const std::string& listing);
// The same for one line of that output, as it arrives: a real image lists
// hundreds of thousands of paths, more than any output buffer holds.
void AddImageRootName(const std::string& line, std::set<std::string>* names);

// The saved entries whose root name the image does not bring: wimlib does
// not apply over an existing file.
std::vector<SavedFile> WithoutImageNames(const std::vector<SavedFile>& saved,
                                         const std::set<std::string>& imageRootNames);

// From the format until the boot files are written, a C: that the BIOS
// starts through its own boot code (which loads "bootmgr", or "ntldr", by
// name) holds no such file: our loader takes that name meanwhile, and the
// real file waits beside it under this suffix.
constexpr const char* kRealBootFileSuffix = ".kavi-old";
// Where an image is written on a FAT target (emptied, not formatted) until
// it is whole.
constexpr const char* kImageStagingFolder = "KAVI.NEW";
// The kept boot file the loader stands in for, "bootmgr" before "ntldr";
// none unless `kept` holds it and the loader "kvldr" as files.
const SavedFile* StandInTarget(const std::vector<SavedFile>& kept);
const SavedFile* FindSaved(const std::vector<SavedFile>& saved, const std::string& name);
// The names the real boot files wait under.
const std::vector<std::string>& RealBootFileNames();
// `saved` with each file found under the suffix back in its own name, in
// place of the loader that stood in for it.
std::vector<SavedFile> WithRealBootFiles(std::vector<SavedFile> saved);

// The hivexsh commands that make the boot manager start `entryGuid`
// ("dd97bc62-...") once on the next boot (its bootsequence element). With
// `addKey` the element's key is made first; without, it is there already.
std::string BootSequenceScript(const std::string& entryGuid, bool addKey);

}  // namespace restore
}  // namespace kavi
