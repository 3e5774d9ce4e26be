// The system catalogue: the images the service host offers, read from the
// text at "/kavi/xitong.txt". Each record stands between "<line>" and
// "</line>"; its fields are separated by "|" and the last one is followed by
// a "|" too. Text outside the markers is ignored.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "online/text_fetcher.h"

namespace kavi {

struct CatalogueEntry {
  std::wstring name;       // row title
  std::wstring url;        // image download URL
  std::wstring fileName;   // saved under this name in the download folder
  std::wstring infoText;   // description and tooltip
  std::wstring sizeText;   // size as shown
  std::wstring imageMd5;   // MD5 text compared after the download; may be empty
  std::wstring checkCode;  // Base64 check block verified before the reinstall
};

// The n-th (1-based) occurrence of `start` in `source`, and the text from
// there to the next `end`. False with empty text when there is no n-th start
// or `end` follows it immediately; true with empty text when no `end`
// follows. Each search for `start` begins one character after the previous
// match, so single-character markers are counted one by one.
bool ExtractBetween(const std::wstring& source, const std::wstring& start, const std::wstring& end,
                    int n, std::wstring* text);

// The entries of a catalogue text, in order. Reading stops at the first
// record that is empty or not closed.
std::vector<CatalogueEntry> ParseCatalogue(const std::wstring& text);

// The images offered in this run, in service order; an entry's position is
// its identity. Filled once by the start-up task, then only read.
class SystemCatalogue {
 public:
  size_t Count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_.size();
  }
  // A copy of the entry; empty fields past the end.
  CatalogueEntry At(size_t position) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return position < entries_.size() ? entries_[position] : CatalogueEntry();
  }
  void Replace(std::vector<CatalogueEntry> entries) {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_ = std::move(entries);
  }

 private:
  mutable std::mutex mutex_;
  std::vector<CatalogueEntry> entries_;
};

// The process-wide catalogue.
SystemCatalogue& Catalogue();

// Empties `catalogue`, fetches "/kavi/xitong.txt" from `serviceUrl` and reads
// it. False only when the fetched text is empty; true otherwise, even with no
// readable record.
bool LoadCatalogue(TextFetcher& http, const std::wstring& serviceUrl, SystemCatalogue& catalogue);

// Windows side: the same into the process-wide catalogue, over a client of
// its own, from the configured service host.
bool LoadCatalogue();

}  // namespace kavi
