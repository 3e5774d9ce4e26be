#include "ui/skin_resources.h"

#include <filesystem>
#include <fstream>

namespace SkinUI {

SkinResources& SkinResources::Process() {
  static SkinResources resources;
  return resources;
}

void SkinResources::UseFolder(const std::wstring& folder) {
  kind_ = Kind::kFolder;
  folder_ = folder;
  archive_.Close();
}

void SkinResources::UseArchive(const void* data, std::size_t size) {
  kind_ = Kind::kArchive;
  archiveOpened_ = archive_.Open(data, size);
}

bool SkinResources::ReadMember(const std::wstring& name, std::string* bytes,
                               std::wstring* error) const {
  bytes->clear();
  if (kind_ == Kind::kArchive) {
    if (!archiveOpened_) return *error = L"Error opening zip file", false;
    switch (archive_.Read(name, bytes, kMaxSkinMemberSize)) {
      case SkinArchive::ReadStatus::kOk:
        break;
      case SkinArchive::ReadStatus::kNotFound:
        return *error = L"Could not find ziped file", false;
      case SkinArchive::ReadStatus::kTooLarge:
        return *error = L"File too large", false;
      case SkinArchive::ReadStatus::kDamaged:
        return *error = L"Could not unzip file", false;
    }
    if (bytes->empty()) return *error = L"File is empty", false;
    return true;
  }
  if (kind_ == Kind::kNone) return *error = L"Error opening file", false;

  std::error_code ec;
  std::filesystem::path path(folder_ + name);
  std::ifstream in(path, std::ios::binary);
  if (!in) return *error = L"Error opening file", false;
  std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) return *error = L"Error opening file", false;
  if (size == 0) return *error = L"File is empty", false;
  if (size > kMaxSkinMemberSize) return *error = L"File too large", false;
  bytes->resize(static_cast<std::size_t>(size));
  if (!in.read(&(*bytes)[0], static_cast<std::streamsize>(size))) {
    bytes->clear();
    return *error = L"Could not read file", false;
  }
  return true;
}

bool SkinResources::ReadResource(int id, const std::wstring& type, std::string* bytes,
                                 std::wstring* error) const {
  bytes->clear();
  if (!resourceReader_ || !resourceReader_(id, type, bytes)) {
    bytes->clear();
    return *error = L"Error opening file", false;
  }
  if (bytes->empty()) return *error = L"File is empty", false;
  if (bytes->size() > kMaxSkinMemberSize) {
    bytes->clear();
    return *error = L"File too large", false;
  }
  return true;
}

}  // namespace SkinUI
