#include "online/catalogue.h"

#include "online/service_host.h"

namespace kavi {

bool ExtractBetween(const std::wstring& source, const std::wstring& start, const std::wstring& end,
                    int n, std::wstring* text) {
  text->clear();
  size_t position = std::wstring::npos;  // one before the beginning
  int found = 0;
  do {
    position = source.find(start, position + 1);
    if (position == std::wstring::npos) return false;
    ++found;
  } while (found < n);
  const size_t rest = position + start.size();
  const size_t stop = source.find(end, rest);
  if (stop == rest) return false;
  if (stop != std::wstring::npos) text->assign(source, rest, stop - rest);
  return true;
}

// Reads the records as ExtractBetween(text, "<line>", "</line>", n) would
// for n = 1, 2, ..., in one pass: asking for the n-th record each time
// would rescan the text from its start, and a catalogue of thousands of
// records would then take minutes.
std::vector<CatalogueEntry> ParseCatalogue(const std::wstring& text) {
  static const std::wstring kStart = L"<line>";
  static const std::wstring kEnd = L"</line>";
  std::vector<CatalogueEntry> entries;
  size_t end = std::wstring::npos;
  for (size_t start = text.find(kStart); start != std::wstring::npos;
       start = text.find(kStart, start + 1)) {
    const size_t rest = start + kStart.size();
    // The end found for an earlier record is still the next one when it
    // lies beyond this record's start (records may overlap).
    if (end == std::wstring::npos || end < rest) end = text.find(kEnd, rest);
    if (end == std::wstring::npos || end == rest) break;
    const std::wstring record(text, rest, end - rest);
    CatalogueEntry entry;
    const size_t bar = record.find(L'|');
    if (bar != std::wstring::npos) entry.name = record.substr(0, bar);
    std::wstring* fields[] = {&entry.url,      &entry.fileName, &entry.infoText,
                              &entry.sizeText, &entry.imageMd5, &entry.checkCode};
    for (int k = 1; k <= 6; ++k) ExtractBetween(record, L"|", L"|", k, fields[k - 1]);
    entries.push_back(std::move(entry));
  }
  return entries;
}

SystemCatalogue& Catalogue() {
  static SystemCatalogue catalogue;
  return catalogue;
}

bool LoadCatalogue(TextFetcher& http, const std::wstring& serviceUrl, SystemCatalogue& catalogue) {
  catalogue.Replace({});
  const std::wstring text = http.GetText(serviceUrl + kCataloguePath);
  if (text.empty()) return false;
  catalogue.Replace(ParseCatalogue(text));
  return true;
}

}  // namespace kavi
