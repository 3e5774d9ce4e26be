// The catalogue text as the service host might send it, in code page 936.
#include <cstddef>
#include <cstdint>
#include <string>

#include "host/text.h"
#include "online/catalogue.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::wstring text = kavi::FromAnsi(std::string(reinterpret_cast<const char*>(data), size));
  std::vector<kavi::CatalogueEntry> entries = kavi::ParseCatalogue(text);
  for (const kavi::CatalogueEntry& e : entries) {
    // Every field is a piece of the text between its markers.
    if (e.name.size() + e.url.size() + e.fileName.size() > text.size()) __builtin_trap();
  }
  std::wstring piece;
  kavi::ExtractBetween(text, L"<line>", L"</line>", 1 + static_cast<int>(size % 7), &piece);
  return 0;
}
