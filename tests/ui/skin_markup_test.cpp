#include "ui/skin_markup.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/ui/zip_writer.h"
#include "ui/skin_resources.h"

namespace SkinUI {
namespace {

// Parses `text` and returns the reader for inspection.
struct Parsed {
  SkinMarkup doc;
  bool ok;
  explicit Parsed(const std::wstring& text) : ok(doc.LoadFromText(text)) {}
};

TEST(SkinMarkupParse, ElementsTextsAndLinks) {
  Parsed p(
      L"<?xml version=\"1.0\"?>\n<Window a=\"1\">\n <Label>hello</Label>\n <Button/>\n</Window>");
  ASSERT_TRUE(p.ok) << p.doc.GetLastErrorMessage();
  SkinMarkupNode root = p.doc.Root();
  EXPECT_STREQ(L"Window", root.GetName());
  EXPECT_FALSE(root.GetParent().IsValid());  // record 0 is no element
  SkinMarkupNode label = root.GetChild();
  EXPECT_STREQ(L"Label", label.GetName());
  EXPECT_STREQ(L"hello", label.GetValue());
  EXPECT_EQ(0, label.GetAttributeCount());
  SkinMarkupNode button = label.GetSibling();
  EXPECT_STREQ(L"Button", button.GetName());
  EXPECT_STREQ(L"", button.GetValue());
  EXPECT_FALSE(button.GetSibling().IsValid());
  EXPECT_STREQ(L"Window", button.GetParent().GetName());
  EXPECT_STREQ(L"1", root.GetAttributeValue(L"a"));
  EXPECT_EQ(4u, p.doc.RecordCount());  // reserved record + three elements
}

TEST(SkinMarkupParse, AttributesByIndexAndName) {
  Parsed p(L"<A first=\"1\"  second = \"two words\" third=\"\" fourth=\"  padded \"/>");
  ASSERT_TRUE(p.ok) << p.doc.GetLastErrorMessage();
  SkinMarkupNode a = p.doc.Root();
  ASSERT_EQ(4, a.GetAttributeCount());
  EXPECT_STREQ(L"second", a.GetAttributeName(1));
  EXPECT_STREQ(L"two words", a.GetAttributeValue(1));
  EXPECT_STREQ(L"", a.GetAttributeValue(2));
  EXPECT_STREQ(L"  padded ", a.GetAttributeValue(L"fourth"));
  EXPECT_STREQ(L"", a.GetAttributeName(4));
  EXPECT_STREQ(L"", a.GetAttributeValue(-1));
  EXPECT_EQ(nullptr, a.GetAttributeValue(L"missing"));
  wchar_t buffer[5];
  EXPECT_TRUE(a.GetAttributeValue(L"second", buffer, 5));
  EXPECT_STREQ(L"two ", buffer);  // truncated to the buffer
  EXPECT_FALSE(a.GetAttributeValue(L"nothing", buffer, 5));
}

TEST(SkinMarkupParse, EntitiesInValuesAndTexts) {
  Parsed p(
      L"<A v=\"Tom &amp; Jerry\" w=\"&lt;&gt;&quot;&apos;\" n=\"a&nbsp;b\">x &amp; y &copy;</A>");
  ASSERT_TRUE(p.ok) << p.doc.GetLastErrorMessage();
  SkinMarkupNode a = p.doc.Root();
  EXPECT_STREQ(L"Tom & Jerry", a.GetAttributeValue(L"v"));
  EXPECT_STREQ(L"<>\"'", a.GetAttributeValue(L"w"));
  EXPECT_STREQ(L"a&nbsp;b", a.GetAttributeValue(L"n"));  // unknown entities stay
  EXPECT_STREQ(L"x & y &copy;", a.GetValue());
  EXPECT_STREQ(L"n", a.GetAttributeName(2));
}

TEST(SkinMarkupParse, WhiteSpaceFlag) {
  SkinMarkup keep;
  ASSERT_TRUE(keep.LoadFromText(L"<A v=\"a  \t b\">one   two</A>"));
  EXPECT_STREQ(L"a  \t b", keep.Root().GetAttributeValue(L"v"));
  SkinMarkup collapse;
  collapse.SetPreserveWhitespace(false);
  ASSERT_TRUE(collapse.LoadFromText(L"<A v=\"a  \t b\">one   two</A>"));
  EXPECT_STREQ(L"a b", collapse.Root().GetAttributeValue(L"v"));
  EXPECT_STREQ(L"one two", collapse.Root().GetValue());
}

TEST(SkinMarkupParse, CommentsAnywhereBetweenElements) {
  Parsed p(L"<!-- head --><A><!-- x --><B/><!-- <C/> --><D/></A><!-- tail -->");
  ASSERT_TRUE(p.ok) << p.doc.GetLastErrorMessage();
  EXPECT_STREQ(L"B", p.doc.Root().GetChild().GetName());
  EXPECT_STREQ(L"D", p.doc.Root().GetChild().GetSibling().GetName());
  EXPECT_FALSE(p.doc.Root().GetChild().GetSibling().GetSibling().IsValid());
}

TEST(SkinMarkupParse, OutermostLevelsMayEndWithTheText) {
  Parsed missingRootEnd(L"<Window><Label text=\"a\"/>");
  EXPECT_TRUE(missingRootEnd.ok) << missingRootEnd.doc.GetLastErrorMessage();
  Parsed textToEnd(L"<Window><Label>open text");
  EXPECT_TRUE(textToEnd.ok);
  EXPECT_STREQ(L"open text", textToEnd.doc.Root().GetChild().GetValue());
  Parsed deeper(L"<Window><Box><Label/>");
  EXPECT_FALSE(deeper.ok);
  Parsed deeperText(L"<Window><Box><Label>text");
  EXPECT_FALSE(deeperText.ok);
  EXPECT_EQ(L"Expected end-tag start", deeperText.doc.GetLastErrorMessage());
}

struct ErrorCase {
  const wchar_t* text;
  const wchar_t* message;
  const wchar_t* excerpt;
};

TEST(SkinMarkupParse, ErrorMessagesAndExcerpts) {
  const ErrorCase cases[] = {
      {L"  hello", L"Expected start tag", L"hello"},
      {L"<A v='single'/>", L"Expected attribute value", L"'single'/>"},
      {L"<A><B></C></A>", L"Unmatched closing tag", L"C></A>"},
      {L"<A><B></B ></A  x>", L"Unmatched closing tag", L"A  x>"},
      {L"< A/>", L"Error parsing element name", L" A/>"},
      {L"<A v\"1\"/>", L"Error while parsing attributes", L"\"1\"/>"},
      {L"<A v=\"1/>", L"Error while parsing attribute string", L""},
      {L"<A v=\"1\" / >", L"Expected start-tag closing", L"/ >"},
      {L"</A>", L"Unmatched closing tag", L"A>"},
  };
  for (const ErrorCase& c : cases) {
    SkinMarkup doc;
    EXPECT_FALSE(doc.LoadFromText(c.text)) << c.text;
    EXPECT_EQ(c.message, doc.GetLastErrorMessage()) << c.text;
    EXPECT_EQ(c.excerpt, doc.GetLastErrorLocation()) << c.text;
    EXPECT_FALSE(doc.Root().IsValid());  // the document is freed
  }
}

TEST(SkinMarkupParse, ExcerptIsAtMost49Characters) {
  SkinMarkup doc;
  EXPECT_FALSE(doc.LoadFromText(L"<A v='" + std::wstring(100, L'z') + L"'/>"));
  EXPECT_EQ(L"'" + std::wstring(48, L'z'), doc.GetLastErrorLocation());
  ASSERT_TRUE(doc.LoadFromText(L"<A/>"));
  EXPECT_TRUE(doc.GetLastErrorMessage().empty());  // cleared before every parse
  EXPECT_TRUE(doc.GetLastErrorLocation().empty());
}

TEST(SkinMarkupParse, SixtyFiveAttributesShowSixtyFour) {
  std::wstring text = L"<A";
  for (int i = 1; i <= 65; ++i)
    text += L" a" + std::to_wstring(i) + L"=\"" + std::to_wstring(i) + L"\"";
  text += L"/>";
  SkinMarkup doc;
  ASSERT_TRUE(doc.LoadFromText(text));
  EXPECT_EQ(64, doc.Root().GetAttributeCount());
  EXPECT_STREQ(L"64", doc.Root().GetAttributeValue(L"a64"));
  EXPECT_EQ(nullptr, doc.Root().GetAttributeValue(L"a65"));
}

TEST(SkinMarkupParse, RecordArrayGrowsByHalfPlus500) {
  std::wstring text = L"<A>";
  for (int i = 0; i < 600; ++i) text += L"<B/>";
  text += L"</A>";
  SkinMarkup doc;
  ASSERT_TRUE(doc.LoadFromText(text));
  EXPECT_EQ(602u, doc.RecordCount());
  EXPECT_EQ(1250u, doc.RecordCapacity());  // 0 -> 500 -> 1250
}

std::string Utf8(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

TEST(SkinMarkupLoad, Utf8WithOrWithoutBomGivesTheSameDocument) {
  std::string body = Utf8(L"<Window><Label text=\"微软雅黑\"/></Window>");
  SkinMarkup plain, bom;
  ASSERT_TRUE(plain.LoadFromBytes(body.data(), body.size()));
  std::string withBom = "\xEF\xBB\xBF" + body;
  ASSERT_TRUE(bom.LoadFromBytes(withBom.data(), withBom.size()));
  EXPECT_STREQ(L"微软雅黑", plain.Root().GetChild().GetAttributeValue(L"text"));
  EXPECT_STREQ(L"微软雅黑", bom.Root().GetChild().GetAttributeValue(L"text"));
  EXPECT_STREQ(L"Window", bom.Root().GetName());
}

TEST(SkinMarkupLoad, AnsiAndUtf16Encodings) {
  std::string ansi = "<A t=\"\xCE\xD2\xB5\xC4\"/>";  // 我的 in code page 936
  SkinMarkup a;
  ASSERT_TRUE(a.LoadFromBytes(ansi.data(), ansi.size(), SkinEncoding::Ansi));
  EXPECT_STREQ(L"我的", a.Root().GetAttributeValue(L"t"));

  const std::wstring text = L"<A t=\"我\U0001F600\"/>";
  std::string le = "\xFF\xFE", be = "\xFE\xFF";
  std::u16string units;
  for (wchar_t c : text) {
    unsigned long cp = static_cast<unsigned long>(c);
    if (cp > 0xFFFF) {
      units += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      units += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      units += static_cast<char16_t>(cp);
    }
  }
  for (char16_t u : units) {
    le += static_cast<char>(u & 0xFF), le += static_cast<char>(u >> 8);
    be += static_cast<char>(u >> 8), be += static_cast<char>(u & 0xFF);
  }
  SkinMarkup l, b, none;
  ASSERT_TRUE(l.LoadFromBytes(le.data(), le.size(), SkinEncoding::Utf16));
  ASSERT_TRUE(b.LoadFromBytes(be.data(), be.size(), SkinEncoding::Utf16));
  std::wstring expected = L"我\U0001F600";
  EXPECT_EQ(expected, l.Root().GetAttributeValue(L"t"));
  EXPECT_EQ(expected, b.Root().GetAttributeValue(L"t"));
  EXPECT_FALSE(none.LoadFromBytes(le.data() + 2, le.size() - 2, SkinEncoding::Utf16));
  EXPECT_FALSE(none.GetLastErrorMessage().empty());
  EXPECT_TRUE(none.GetLastErrorLocation().empty());
}

TEST(SkinMarkupLoad, MemberLimitsAndMessages) {
  std::string exact(kMaxSkinMemberSize, ' ');
  exact.replace(0, 4, "<A/>");
  std::string over = exact + " ";
  testing::ZipWriter zip;
  zip.Add("exact.xml", exact);
  zip.Add("over.xml", over);
  zip.Add("empty.xml", "", false);
  std::string bytes = zip.Finish();
  std::string broken = bytes;
  broken[60] ^= 0x55;  // inside exact.xml's deflated data
  SkinResources resources;
  resources.UseArchive(bytes.data(), bytes.size());

  SkinMarkup doc(&resources);
  EXPECT_TRUE(doc.LoadFromMember(L"exact.xml")) << doc.GetLastErrorMessage();
  EXPECT_FALSE(doc.LoadFromMember(L"over.xml"));
  EXPECT_EQ(L"File too large", doc.GetLastErrorMessage());
  EXPECT_FALSE(doc.LoadFromMember(L"empty.xml"));
  EXPECT_EQ(L"File is empty", doc.GetLastErrorMessage());
  EXPECT_FALSE(doc.LoadFromMember(L"skin.xml"));
  EXPECT_EQ(L"Could not find ziped file", doc.GetLastErrorMessage());
  EXPECT_TRUE(doc.GetLastErrorLocation().empty());

  SkinResources damaged;
  damaged.UseArchive(broken.data(), broken.size());
  SkinMarkup d(&damaged);
  EXPECT_FALSE(d.LoadFromMember(L"exact.xml"));
  EXPECT_EQ(L"Could not unzip file", d.GetLastErrorMessage());

  SkinResources notZip;
  notZip.UseArchive("PK", 2);
  SkinMarkup n(&notZip);
  EXPECT_FALSE(n.LoadFromMember(L"exact.xml"));
  EXPECT_EQ(L"Error opening zip file", n.GetLastErrorMessage());

  EXPECT_FALSE(doc.LoadFromBytes(over.data(), over.size()));
  EXPECT_EQ(L"File too large", doc.GetLastErrorMessage());
}

TEST(SkinMarkupLoad, PlainFilesFromAFolder) {
  SkinResources folder;
  folder.UseFolder(L"/nonexistent-skin-folder/");
  SkinMarkup doc(&folder);
  EXPECT_FALSE(doc.LoadFromMember(L"skin.xml"));
  EXPECT_EQ(L"Error opening file", doc.GetLastErrorMessage());
}

}  // namespace
}  // namespace SkinUI
