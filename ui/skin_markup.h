// SkinMarkup: a small XML reader for the skin mark-up. The whole document is
// parsed once, in place: names, values and texts are ended by NULs written
// into the text, entity references are decoded where they stand, and each
// element becomes a record of five integers (positions in the text and
// indices of related records). Attributes are indexed only when first asked
// for. SkinMarkupNode is a light handle on one element record.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "ui/skin_text.h"

namespace SkinUI {

class SkinResources;
class SkinMarkup;

class SkinMarkupNode {
 public:
  SkinMarkupNode() = default;
  SkinMarkupNode(SkinMarkup* doc, int index) : doc_(doc), index_(index) {}

  bool IsValid() const { return doc_ != nullptr && index_ > 0; }
  SkinMarkupNode GetParent() const;
  SkinMarkupNode GetChild() const;
  SkinMarkupNode GetSibling() const;
  bool HasChildren() const { return GetChild().IsValid(); }
  const wchar_t* GetName() const;
  // The element's text ("" when it has none).
  const wchar_t* GetValue() const;

  // At most kMaxAttributes attributes are visible; later ones are not.
  int GetAttributeCount() const;
  // "" for an index out of range.
  const wchar_t* GetAttributeName(int index) const;
  const wchar_t* GetAttributeValue(int index) const;
  // nullptr when the element has no attribute of that name.
  const wchar_t* GetAttributeValue(const wchar_t* name) const;
  bool HasAttribute(const wchar_t* name) const { return GetAttributeValue(name) != nullptr; }
  // Copies the value into `buffer` of `size` characters (NUL included,
  // truncated to fit). False when the name is absent.
  bool GetAttributeValue(const wchar_t* name, wchar_t* buffer, std::size_t size) const;

 private:
  SkinMarkup* doc_ = nullptr;
  int index_ = 0;
};

class SkinMarkup {
 public:
  static constexpr int kMaxAttributes = 64;
  static constexpr std::size_t kMaxErrorMessage = 99;
  static constexpr std::size_t kMaxErrorExcerpt = 49;

  // Members are read from `resources`, or from the process-wide source.
  explicit SkinMarkup(const SkinResources* resources = nullptr);
  SkinMarkup(const SkinMarkup&) = delete;
  SkinMarkup& operator=(const SkinMarkup&) = delete;

  bool LoadFromMember(const std::wstring& name, SkinEncoding encoding = SkinEncoding::Utf8);
  bool LoadFromResource(int id, const std::wstring& type,
                        SkinEncoding encoding = SkinEncoding::Utf8);
  bool LoadFromBytes(const char* data, std::size_t size,
                     SkinEncoding encoding = SkinEncoding::Utf8);
  bool LoadFromText(const std::wstring& text);

  // Keep white space inside values and texts (the default); when off, a
  // blank swallows the white space that follows it.
  void SetPreserveWhitespace(bool keep) { preserveWhitespace_ = keep; }

  bool IsValid() const { return records_.size() > 1; }
  SkinMarkupNode Root();
  void Release();

  const std::wstring& GetLastErrorMessage() const { return errorMessage_; }
  const std::wstring& GetLastErrorLocation() const { return errorExcerpt_; }

  std::size_t RecordCount() const { return records_.size(); }
  std::size_t RecordCapacity() const { return capacity_; }

 private:
  friend class SkinMarkupNode;
  struct Record {
    int name;    // position of the element name
    int child;   // first child, 0 = none
    int next;    // next sibling, 0 = none
    int parent;  // 0 for the top level
    int data;    // position of the element's text
  };
  struct AttributeSlot {
    int name;
    int value;
  };
  enum class LevelEnd { kError, kEndOfText, kEndTag };

  // Empties the document but keeps its buffers for the next parse.
  void Reset();
  bool Parse();
  LevelEnd ParseLevel(wchar_t*& p, int parent, int depth, bool afterLess);
  bool ParseAttributes(wchar_t*& p);
  bool DecodeUntil(wchar_t*& p, wchar_t terminator, wchar_t*& dest);
  int AppendRecord(int parent);
  bool Fail(const wchar_t* message, const wchar_t* where);
  void ClearError();
  // Indexes the attributes of `index` once and returns its slots.
  const AttributeSlot* Attributes(int index, int* count);

  const SkinResources* resources_;
  std::vector<wchar_t> text_;
  std::vector<Record> records_;
  std::size_t capacity_ = 0;
  // Per record: 0 = not indexed yet, else 1 + start in attributeSlots_.
  std::vector<int> attributeStart_;
  std::vector<unsigned char> attributeCount_;
  std::vector<AttributeSlot> attributeSlots_;
  bool preserveWhitespace_ = true;
  std::wstring errorMessage_;
  std::wstring errorExcerpt_;
};

}  // namespace SkinUI
