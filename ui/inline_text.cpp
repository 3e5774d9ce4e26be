#include <cwchar>

#include "ui/painter.h"

namespace SkinUI {

std::vector<TextRun> ParseInlineText(const std::wstring& text, int baseFont) {
  std::vector<TextRun> runs;
  std::vector<int> fonts{baseFont};
  int underline = 0;
  std::wstring current;
  auto flush = [&] {
    if (current.empty()) return;
    runs.push_back({current, fonts.back(), underline > 0});
    current.clear();
  };
  std::size_t i = 0;
  while (i < text.size()) {
    wchar_t c = text[i];
    if (c == L'<') {
      std::size_t close = text.find(L'>', i + 1);
      if (close != std::wstring::npos) {
        std::wstring tag = text.substr(i + 1, close - i - 1);
        bool known = true;
        if (tag == L"u") {
          flush();
          ++underline;
        } else if (tag == L"/u") {
          flush();
          if (underline > 0) --underline;
        } else if (tag == L"/f") {
          flush();
          if (fonts.size() > 1) fonts.pop_back();
        } else if (tag.size() > 2 && tag[0] == L'f' && tag[1] == L' ') {
          const wchar_t* digits = tag.c_str() + 2;
          while (*digits == L' ') ++digits;
          wchar_t* end = nullptr;
          long n = std::wcstol(digits, &end, 10);
          if (end == digits || *end != 0 || n < 0 || n > 10000) {
            known = false;
          } else {
            flush();
            fonts.push_back(static_cast<int>(n));
          }
        } else {
          known = false;
        }
        if (known) {
          i = close + 1;
          continue;
        }
      }
    }
    current += c;
    ++i;
  }
  flush();
  return runs;
}

}  // namespace SkinUI
