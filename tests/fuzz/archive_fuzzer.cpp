// Feeds arbitrary bytes to the archive reader as a skin archive and reads
// and builds its members.
#include <cstddef>
#include <cstdint>
#include <string>

#include "ui/skin_ui.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace SkinUI;
  SkinArchive archive;
  if (!archive.Open(data, size)) return 0;
  const wchar_t* names[] = {L"skin.xml", L"SKIN.XML", L"images\\a.png",
                            L"a",        L"499.GIF",  L"备份.png"};
  std::string bytes;
  for (const wchar_t* name : names) {
    std::uint32_t stated = 0;
    archive.MemberSize(name, &stated);
    archive.Read(name, &bytes, kMaxSkinMemberSize);
  }
  SkinResources resources;
  resources.UseArchive(data, size);
  SkinBuilder builder(&resources);
  delete builder.Create(L"skin.xml");
  return 0;
}
