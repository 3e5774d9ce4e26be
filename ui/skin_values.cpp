#include "ui/skin_values.h"

#include <cwchar>

#include "ui/painter.h"

namespace SkinUI {
namespace {

bool IsBlank(wchar_t c) {
  return c != 0 && c <= L' ';
}

// Skin numbers are coordinates and sizes: anything beyond a million is
// clamped, so sums of a few of them (a position plus a size plus padding)
// never overflow.
constexpr long long kMaxSkinNumber = 1000000;

// Reads a decimal integer at `p`, clamped to +-kMaxSkinNumber, and advances
// past it.
int ReadInt(const wchar_t*& p) {
  while (IsBlank(*p)) ++p;
  bool negative = false;
  if (*p == L'-' || *p == L'+') negative = *p++ == L'-';
  long long value = 0;
  while (*p >= L'0' && *p <= L'9') {
    if (value <= kMaxSkinNumber) value = value * 10 + (*p - L'0');
    ++p;
  }
  if (value > kMaxSkinNumber) value = kMaxSkinNumber;
  return static_cast<int>(negative ? -value : value);
}

// Reads up to `count` comma-separated integers into `out`.
void ReadInts(const wchar_t* p, int* out, int count) {
  if (!p) return;
  for (int i = 0; i < count; ++i) {
    out[i] = ReadInt(p);
    while (IsBlank(*p)) ++p;
    if (*p != L',') return;
    ++p;
  }
}

}  // namespace

UiColor ParseColor(const wchar_t* value) {
  if (!value) return 0;
  while (IsBlank(*value)) ++value;
  if (*value == L'#') ++value;
  UiColor color = 0;
  for (int digits = 0; digits < 8; ++digits, ++value) {
    wchar_t c = *value;
    unsigned d;
    if (c >= L'0' && c <= L'9')
      d = c - L'0';
    else if (c >= L'a' && c <= L'f')
      d = c - L'a' + 10;
    else if (c >= L'A' && c <= L'F')
      d = c - L'A' + 10;
    else
      break;
    color = (color << 4) | d;
  }
  return color;
}

bool ParseBool(const wchar_t* value) {
  return value && std::wcscmp(value, L"true") == 0;
}

int ParseInt(const wchar_t* value) {
  if (!value) return 0;
  return ReadInt(value);
}

UiRect ParseRect(const wchar_t* value) {
  int v[4] = {0, 0, 0, 0};
  ReadInts(value, v, 4);
  return {v[0], v[1], v[2], v[3]};
}

void ParseAlign(const wchar_t* value, TextAlign* align, TextVAlign* valign) {
  const std::wstring v = value;
  if (v.find(L"left") != std::wstring::npos) *align = TextAlign::kLeft;
  if (v.find(L"center") != std::wstring::npos) *align = TextAlign::kCenter;
  if (v.find(L"right") != std::wstring::npos) *align = TextAlign::kRight;
  if (valign == nullptr) return;
  if (v.find(L"top") != std::wstring::npos) *valign = TextVAlign::kTop;
  if (v.find(L"bottom") != std::wstring::npos) *valign = TextVAlign::kBottom;
}

UiSize ParseSize(const wchar_t* value) {
  int v[2] = {0, 0};
  ReadInts(value, v, 2);
  return {v[0], v[1]};
}

ImageSpec ParseImageSpec(const wchar_t* value) {
  ImageSpec spec;
  if (!value || !*value) return spec;
  if (!std::wcschr(value, L'=')) {
    spec.file = value;
    return spec;
  }
  const wchar_t* p = value;
  for (;;) {
    while (IsBlank(*p)) ++p;
    const wchar_t* key = p;
    while (*p && *p != L'=' && !IsBlank(*p)) ++p;
    std::wstring name(key, p);
    while (IsBlank(*p)) ++p;
    if (*p != L'=') break;
    ++p;
    while (IsBlank(*p)) ++p;
    if (*p != L'\'') break;
    const wchar_t* start = ++p;
    while (*p && *p != L'\'') ++p;
    if (*p != L'\'') break;
    std::wstring item(start, p);
    ++p;
    if (name == L"file" || name == L"res") {
      spec.file = item;
    } else if (name == L"restype") {
      spec.restype = item;
    } else if (name == L"source") {
      spec.source = ParseRect(item.c_str());
    } else if (name == L"dest") {
      spec.dest = ParseRect(item.c_str());
      spec.hasDest = true;
    } else if (name == L"corner") {
      spec.corner = ParseRect(item.c_str());
    } else if (name == L"mask") {
      spec.mask = ParseColor(item.c_str());
      spec.hasMask = true;
    } else if (name == L"fade") {
      int fade = ParseInt(item.c_str());
      spec.fade = fade < 0 ? 0 : fade > 255 ? 255 : fade;
    } else if (name == L"hole") {
      spec.hole = ParseBool(item.c_str());
    }
    if (*p != L' ') break;
  }
  return spec;
}

UiRect ImageDestRect(const ImageSpec& spec, const UiRect& control) {
  if (!spec.hasDest) return control;
  UiRect r{control.left + spec.dest.left, control.top + spec.dest.top,
           control.left + spec.dest.right, control.top + spec.dest.bottom};
  if (r.right > control.right) r.right = control.right;
  if (r.bottom > control.bottom) r.bottom = control.bottom;
  return r;
}

std::vector<std::pair<std::wstring, std::wstring>> ParseAttributeList(const wchar_t* list,
                                                                      bool* complete) {
  std::vector<std::pair<std::wstring, std::wstring>> pairs;
  if (complete) *complete = false;
  if (!list) return pairs;
  const wchar_t* p = list;
  if (!*p) {
    if (complete) *complete = true;
    return pairs;
  }
  for (;;) {
    const wchar_t* name = p;
    while (*p && *p != L'=' && !IsBlank(*p) && *p != L'"') ++p;
    if (p == name || *p != L'=') return pairs;
    std::wstring key(name, p);
    if (*++p != L'"') return pairs;
    const wchar_t* start = ++p;
    while (*p && *p != L'"') ++p;
    if (*p != L'"') return pairs;
    pairs.emplace_back(std::move(key), std::wstring(start, p));
    ++p;
    if (*p == 0) break;
    if (*p != L' ') return pairs;
    ++p;
  }
  if (complete) *complete = true;
  return pairs;
}

}  // namespace SkinUI
