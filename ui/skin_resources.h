// Where skin members come from: a folder of plain files, or a zip archive
// held in memory (the program's "ZIPRES" resource), plus, for builders that
// name resources by number, a reader supplied by the Windows side.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "ui/skin_archive.h"

namespace SkinUI {

// The largest member the reader accepts (4 MiB).
constexpr std::size_t kMaxSkinMemberSize = 4u * 1024 * 1024;

class SkinResources {
 public:
  enum class Kind { kNone, kFolder, kArchive };
  using ResourceReader = std::function<bool(int id, const std::wstring& type, std::string* bytes)>;

  // The process-wide source that windows use; set once at start.
  static SkinResources& Process();

  void UseFolder(const std::wstring& folder);
  // The archive bytes are not copied and must outlive this object.
  void UseArchive(const void* data, std::size_t size);
  void SetResourceReader(ResourceReader reader) { resourceReader_ = std::move(reader); }

  Kind kind() const { return kind_; }
  const SkinArchive& archive() const { return archive_; }

  // Reads a member whole. On failure `error` receives the reader's message
  // ("Error opening file", "Could not find ziped file", "File too large", ...).
  bool ReadMember(const std::wstring& name, std::string* bytes, std::wstring* error) const;
  // Reads a numbered resource of `type` through the resource reader.
  bool ReadResource(int id, const std::wstring& type, std::string* bytes,
                    std::wstring* error) const;

 private:
  Kind kind_ = Kind::kNone;
  std::wstring folder_;
  SkinArchive archive_;
  bool archiveOpened_ = false;
  ResourceReader resourceReader_;
};

}  // namespace SkinUI
