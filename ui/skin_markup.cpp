#include "ui/skin_markup.h"

#include <cwchar>

#include "ui/skin_resources.h"

namespace SkinUI {
namespace {

inline bool IsSpace(wchar_t c) {
  return c != 0 && static_cast<unsigned>(c) <= L' ';
}
inline void SkipSpace(wchar_t*& p) {
  while (IsSpace(*p)) ++p;
}
inline bool IsNameChar(wchar_t c) {
  return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
         c == L'_' || c == L':' || static_cast<unsigned>(c) >= 0x80;
}

// Matches `word` at `p` (which is NUL-terminated, so no overrun).
inline bool StartsWith(const wchar_t* p, const wchar_t* word) {
  while (*word) {
    if (*p++ != *word++) return false;
  }
  return true;
}

}  // namespace

// ---- SkinMarkupNode --------------------------------------------------------

SkinMarkupNode SkinMarkupNode::GetParent() const {
  if (!IsValid()) return {};
  return {doc_, doc_->records_[index_].parent};
}
SkinMarkupNode SkinMarkupNode::GetChild() const {
  if (!IsValid()) return {};
  return {doc_, doc_->records_[index_].child};
}
SkinMarkupNode SkinMarkupNode::GetSibling() const {
  if (!IsValid()) return {};
  return {doc_, doc_->records_[index_].next};
}
const wchar_t* SkinMarkupNode::GetName() const {
  if (!IsValid()) return L"";
  return &doc_->text_[doc_->records_[index_].name];
}
const wchar_t* SkinMarkupNode::GetValue() const {
  if (!IsValid()) return L"";
  return &doc_->text_[doc_->records_[index_].data];
}
int SkinMarkupNode::GetAttributeCount() const {
  if (!IsValid()) return 0;
  int count = 0;
  doc_->Attributes(index_, &count);
  return count;
}
const wchar_t* SkinMarkupNode::GetAttributeName(int index) const {
  if (!IsValid()) return L"";
  int count = 0;
  const SkinMarkup::AttributeSlot* slots = doc_->Attributes(index_, &count);
  if (index < 0 || index >= count) return L"";
  return &doc_->text_[slots[index].name];
}
const wchar_t* SkinMarkupNode::GetAttributeValue(int index) const {
  if (!IsValid()) return L"";
  int count = 0;
  const SkinMarkup::AttributeSlot* slots = doc_->Attributes(index_, &count);
  if (index < 0 || index >= count) return L"";
  return &doc_->text_[slots[index].value];
}
const wchar_t* SkinMarkupNode::GetAttributeValue(const wchar_t* name) const {
  if (!IsValid() || !name) return nullptr;
  int count = 0;
  const SkinMarkup::AttributeSlot* slots = doc_->Attributes(index_, &count);
  for (int i = 0; i < count; ++i) {
    if (std::wcscmp(&doc_->text_[slots[i].name], name) == 0) return &doc_->text_[slots[i].value];
  }
  return nullptr;
}
bool SkinMarkupNode::GetAttributeValue(const wchar_t* name, wchar_t* buffer,
                                       std::size_t size) const {
  const wchar_t* value = GetAttributeValue(name);
  if (!value) return false;
  if (buffer && size > 0) {
    std::size_t n = std::wcslen(value);
    if (n >= size) n = size - 1;
    std::wmemcpy(buffer, value, n);
    buffer[n] = 0;
  }
  return true;
}

// ---- SkinMarkup ------------------------------------------------------------

SkinMarkup::SkinMarkup(const SkinResources* resources)
    : resources_(resources ? resources : &SkinResources::Process()) {}

void SkinMarkup::Reset() {
  text_.clear();
  records_.clear();
  capacity_ = 0;
  attributeStart_.clear();
  attributeCount_.clear();
  attributeSlots_.clear();
}

void SkinMarkup::Release() {
  text_.clear();
  text_.shrink_to_fit();
  records_.clear();
  records_.shrink_to_fit();
  capacity_ = 0;
  attributeStart_.clear();
  attributeCount_.clear();
  attributeSlots_.clear();
}

void SkinMarkup::ClearError() {
  errorMessage_.clear();
  errorExcerpt_.clear();
}

bool SkinMarkup::Fail(const wchar_t* message, const wchar_t* where) {
  errorMessage_.assign(
      message, std::wcslen(message) < kMaxErrorMessage ? std::wcslen(message) : kMaxErrorMessage);
  errorExcerpt_.clear();
  if (where) {
    for (std::size_t i = 0; i < kMaxErrorExcerpt && where[i]; ++i) errorExcerpt_ += where[i];
  }
  return false;
}

SkinMarkupNode SkinMarkup::Root() {
  if (!IsValid()) return {};
  return {this, records_[0].child};
}

bool SkinMarkup::LoadFromMember(const std::wstring& name, SkinEncoding encoding) {
  Release();
  ClearError();
  std::string bytes;
  std::wstring error;
  if (!resources_->ReadMember(name, &bytes, &error)) return Fail(error.c_str(), nullptr);
  return LoadFromBytes(bytes.data(), bytes.size(), encoding);
}

bool SkinMarkup::LoadFromResource(int id, const std::wstring& type, SkinEncoding encoding) {
  Release();
  ClearError();
  std::string bytes;
  std::wstring error;
  if (!resources_->ReadResource(id, type, &bytes, &error)) return Fail(error.c_str(), nullptr);
  return LoadFromBytes(bytes.data(), bytes.size(), encoding);
}

bool SkinMarkup::LoadFromBytes(const char* data, std::size_t size, SkinEncoding encoding) {
  Reset();
  ClearError();
  if (size == 0) return Fail(L"File is empty", nullptr);
  if (size > kMaxSkinMemberSize) return Fail(L"File too large", nullptr);
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(data);
  if (encoding == SkinEncoding::Utf8 && !(size >= 2 && (bytes[0] == 0xFF || bytes[0] == 0xFE))) {
    // The common case decodes straight into the document's buffer.
    if (size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
      bytes += 3;
      size -= 3;
    }
    text_.resize(size + 1);
    text_.resize(DecodeUtf8(bytes, size, text_.data()));
    text_.push_back(0);
    return Parse();
  }
  std::wstring text;
  if (!DecodeSkinBytes(data, size, encoding, &text)) {
    return Fail(L"Could not convert file: UTF-16 needs a byte-order mark", nullptr);
  }
  text_.assign(text.begin(), text.end());
  text_.push_back(0);
  return Parse();
}

bool SkinMarkup::LoadFromText(const std::wstring& text) {
  Reset();
  ClearError();
  text_.reserve(text.size() + 1);
  text_.assign(text.begin(), text.end());
  text_.push_back(0);
  return Parse();
}

int SkinMarkup::AppendRecord(int parent) {
  if (records_.size() == capacity_) {
    capacity_ = capacity_ + capacity_ / 2 + 500;
    records_.reserve(capacity_);
  }
  records_.push_back(Record{0, 0, 0, parent, 0});
  return static_cast<int>(records_.size() - 1);
}

bool SkinMarkup::Parse() {
  AppendRecord(0);  // record 0: the parent of the top level
  wchar_t* p = text_.data();
  LevelEnd end = ParseLevel(p, 0, 0, false);
  if (end == LevelEnd::kEndTag) {
    Fail(L"Unmatched closing tag", p);
    end = LevelEnd::kError;
  }
  if (end == LevelEnd::kError) {
    Release();
    return false;
  }
  attributeStart_.assign(records_.size(), 0);
  attributeCount_.assign(records_.size(), 0);
  return true;
}

bool SkinMarkup::DecodeUntil(wchar_t*& p, wchar_t terminator, wchar_t*& dest) {
  // Nothing moves until the first entity (or white space to collapse), so
  // the usual value is only scanned.
  if (dest == p) {
    wchar_t* s = p;
    if (preserveWhitespace_) {
      while (*s != terminator && *s != L'&' && *s != 0) ++s;
    } else {
      while (*s != terminator && *s != L'&' && *s != 0 && !IsSpace(*s)) ++s;
    }
    p = dest = s;
  }
  for (;;) {
    wchar_t c = *p;
    if (c == terminator) return true;
    if (c == 0) return false;
    if (c == L'&') {
      const wchar_t* rest = p + 1;
      wchar_t decoded = 0;
      int length = 0;
      if (StartsWith(rest, L"amp;"))
        decoded = L'&', length = 5;
      else if (StartsWith(rest, L"lt;"))
        decoded = L'<', length = 4;
      else if (StartsWith(rest, L"gt;"))
        decoded = L'>', length = 4;
      else if (StartsWith(rest, L"quot;"))
        decoded = L'"', length = 6;
      else if (StartsWith(rest, L"apos;"))
        decoded = L'\'', length = 6;
      if (length) {
        *dest++ = decoded;
        p += length;
        continue;
      }
    }
    *dest++ = c;
    ++p;
    if (!preserveWhitespace_ && IsSpace(c)) SkipSpace(p);
  }
}

bool SkinMarkup::ParseAttributes(wchar_t*& p) {
  for (;;) {
    SkipSpace(p);
    if (*p == L'>' || *p == L'/' || *p == 0) return true;
    wchar_t* start = p;
    wchar_t* nameEnd = p;
    while (IsNameChar(*nameEnd)) ++nameEnd;
    p = nameEnd;
    SkipSpace(p);
    if (nameEnd == start || *p != L'=') return Fail(L"Error while parsing attributes", p);
    wchar_t* equals = p++;
    SkipSpace(p);
    if (*p != L'"') return Fail(L"Expected attribute value", p);
    // The name ends at its NUL and the opening quote becomes a NUL too, so
    // the value always starts right after the second NUL past the name.
    *equals = L' ';
    *nameEnd = 0;
    *p++ = 0;
    wchar_t* dest = p;
    if (!DecodeUntil(p, L'"', dest)) return Fail(L"Error while parsing attribute string", p);
    *dest = 0;
    while (++dest <= p) *dest = L' ';
    ++p;
  }
}

SkinMarkup::LevelEnd SkinMarkup::ParseLevel(wchar_t*& p, int parent, int depth, bool afterLess) {
  int previous = 0;
  for (;;) {
    if (!afterLess) {
      SkipSpace(p);
      if (*p == 0) {
        if (depth <= 1) return LevelEnd::kEndOfText;
        Fail(L"Expected start tag", p);
        return LevelEnd::kError;
      }
      if (*p != L'<') {
        Fail(L"Expected start tag", p);
        return LevelEnd::kError;
      }
      ++p;
    }
    afterLess = false;
    // `p` is just past a "<" (which may already have been overwritten).
    if (*p == L'/') {
      ++p;
      return LevelEnd::kEndTag;
    }
    if (*p == L'!' || *p == L'?') {
      const wchar_t* close = *p == L'!' ? L"->" : L"?>";
      while (*p && !(p[0] == close[0] && p[1] == close[1])) ++p;
      if (*p) p += 2;
      continue;
    }

    int index = AppendRecord(parent);
    if (previous == 0) {
      records_[parent].child = index;
    } else {
      records_[previous].next = index;
    }
    previous = index;
    wchar_t* name = p;
    while (IsNameChar(*p)) ++p;
    if (p == name) {
      Fail(L"Error parsing element name", p);
      return LevelEnd::kError;
    }
    wchar_t* nameEnd = p;
    records_[index].name = static_cast<int>(name - text_.data());
    if (!ParseAttributes(p)) return LevelEnd::kError;
    if (*p == L'/') {
      if (p[1] != L'>') {
        Fail(L"Expected start-tag closing", p);
        return LevelEnd::kError;
      }
      *nameEnd = 0;
      *p = 0;
      records_[index].data = static_cast<int>(p - text_.data());
      p += 2;
      continue;
    }
    if (*p != L'>') {
      Fail(L"Expected start-tag closing", p);
      return LevelEnd::kError;
    }
    *nameEnd = 0;
    *p++ = 0;

    // The element's text, up to the next "<".
    SkipSpace(p);
    records_[index].data = static_cast<int>(p - text_.data());
    wchar_t* dest = p;
    bool sawLess = DecodeUntil(p, L'<', dest);
    *dest = 0;
    if (!sawLess) {
      if (depth <= 1) return LevelEnd::kEndOfText;
      Fail(L"Expected end-tag start", p);
      return LevelEnd::kError;
    }
    while (++dest < p) *dest = L' ';
    ++p;  // past the "<", which the text's NUL may have replaced

    if (*p != L'/') {
      LevelEnd end = ParseLevel(p, index, depth + 1, true);
      if (end != LevelEnd::kEndTag) return end;
    } else {
      ++p;
    }
    // The end tag: the same name, optional white space, ">".
    const wchar_t* expected = name;
    wchar_t* tag = p;
    while (*expected && *p == *expected) ++p, ++expected;
    if (*expected || IsNameChar(*p)) {
      Fail(L"Unmatched closing tag", tag);
      return LevelEnd::kError;
    }
    SkipSpace(p);
    if (*p != L'>') {
      Fail(L"Unmatched closing tag", tag);
      return LevelEnd::kError;
    }
    ++p;
  }
}

const SkinMarkup::AttributeSlot* SkinMarkup::Attributes(int index, int* count) {
  *count = 0;
  if (index <= 0 || static_cast<std::size_t>(index) >= attributeStart_.size()) return nullptr;
  if (attributeStart_[index] == 0) {
    int start = static_cast<int>(attributeSlots_.size());
    const Record& r = records_[index];
    const wchar_t* text = text_.data();
    const wchar_t* p = text + r.name;
    const wchar_t* limit = text + r.data;
    while (*p) ++p;  // past the element name
    ++p;
    int found = 0;
    while (found < kMaxAttributes && p < limit) {
      while (IsSpace(*p)) ++p;
      if (p >= limit || !IsNameChar(*p)) break;
      const wchar_t* name = p;
      while (*p) ++p;
      ++p;
      while (*p) ++p;  // the opening quote's NUL
      const wchar_t* value = ++p;
      while (*p) ++p;
      ++p;
      attributeSlots_.push_back({static_cast<int>(name - text), static_cast<int>(value - text)});
      ++found;
    }
    attributeStart_[index] = start + 1;
    attributeCount_[index] = static_cast<unsigned char>(found);
  }
  *count = attributeCount_[index];
  return attributeSlots_.data() + (attributeStart_[index] - 1);
}

}  // namespace SkinUI
