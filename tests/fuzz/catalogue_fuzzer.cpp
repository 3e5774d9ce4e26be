// The catalogue text as the service host might send it, in code page 936.
// The one-pass reader must find exactly the records the n-th-record
// definition finds.
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
  std::wstring record;
  size_t n = 0;
  for (;; ++n) {
    kavi::ExtractBetween(text, L"<line>", L"</line>", static_cast<int>(n) + 1, &record);
    if (record.empty()) break;
    if (n >= entries.size()) __builtin_trap();
    std::wstring url;
    kavi::ExtractBetween(record, L"|", L"|", 1, &url);
    if (url != entries[n].url) __builtin_trap();
  }
  if (n != entries.size()) __builtin_trap();
  return 0;
}
