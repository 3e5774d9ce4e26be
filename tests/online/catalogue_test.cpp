#include "online/catalogue.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/online/fake_fetcher.h"

namespace kavi {
namespace {

std::wstring Between(const std::wstring& source, const wchar_t* start, const wchar_t* end, int n,
                     bool expectFound) {
  std::wstring text = L"stale";
  EXPECT_EQ(expectFound, ExtractBetween(source, start, end, n, &text)) << n;
  return text;
}

TEST(ExtractBetween, FindsTheNthStartAndStopsAtTheNextEnd) {
  EXPECT_EQ(L"b", Between(L"a|b|c|", L"|", L"|", 1, true));
  EXPECT_EQ(L"c", Between(L"a|b|c|", L"|", L"|", 2, true));
  EXPECT_EQ(L"two", Between(L"<x>one</x> <x>two</x>", L"<x>", L"</x>", 2, true));
  // Matching is case-sensitive.
  EXPECT_EQ(L"", Between(L"<X>one</X>", L"<x>", L"</x>", 1, false));
}

TEST(ExtractBetween, MissingStartEmptyTextAndMissingEndDiffer) {
  EXPECT_EQ(L"", Between(L"a|b|", L"|", L"|", 3, false));   // no third start
  EXPECT_EQ(L"", Between(L"a||b|", L"|", L"|", 1, false));  // end right after start
  EXPECT_EQ(L"", Between(L"a|b", L"|", L"|", 1, true));     // no end after start
}

TEST(ExtractBetween, OverlappingStartMarkersAreCountedOneCharacterApart) {
  EXPECT_EQ(L"a", Between(L"<<<a>", L"<<", L">", 2, true));
}

const wchar_t kRecord[] = L"A|u|f.GHO|i|s|m|c|";

TEST(ParseCatalogue, CompleteRecordFillsEveryField) {
  auto entries = ParseCatalogue(std::wstring(L"<line>") + kRecord + L"</line>");
  ASSERT_EQ(1u, entries.size());
  const CatalogueEntry& e = entries[0];
  EXPECT_EQ(L"A", e.name);
  EXPECT_EQ(L"u", e.url);
  EXPECT_EQ(L"f.GHO", e.fileName);
  EXPECT_EQ(L"i", e.infoText);
  EXPECT_EQ(L"s", e.sizeText);
  EXPECT_EQ(L"m", e.imageMd5);
  EXPECT_EQ(L"c", e.checkCode);
}

TEST(ParseCatalogue, MissingOrEmptyFieldsKeepTheOthersInPlace) {
  auto entries = ParseCatalogue(
      L"<line>A|u|f.GHO|i|s|m|c</line><line>A|u|f.GHO||s|m|c|</line>"
      L"<line>no bars</line><line>B|u|f|i|s|m|c|extra|more|</line>");
  ASSERT_EQ(4u, entries.size());
  EXPECT_EQ(L"", entries[0].checkCode);  // no final "|"
  EXPECT_EQ(L"m", entries[0].imageMd5);
  EXPECT_EQ(L"", entries[1].infoText);
  EXPECT_EQ(L"s", entries[1].sizeText);
  EXPECT_EQ(L"c", entries[1].checkCode);
  EXPECT_EQ(L"", entries[2].name);
  EXPECT_EQ(L"", entries[2].url);
  EXPECT_EQ(L"c", entries[3].checkCode);  // fields past the seventh are ignored
}

TEST(ParseCatalogue, TextOutsideMarkersIsIgnoredAndLineBreaksInsideKept) {
  auto entries = ParseCatalogue(
      L"header text\r\n<line>\r\nA|u|f|i|s|m|c|</line>\r\nnoise <line>B|v|g|j|t|n|d|</line>");
  ASSERT_EQ(2u, entries.size());
  EXPECT_EQ(L"\r\nA", entries[0].name);
  EXPECT_EQ(L"B", entries[1].name);
  EXPECT_EQ(L"v", entries[1].url);
}

TEST(ParseCatalogue, EmptyOrUnclosedRecordEndsTheParse) {
  EXPECT_EQ(1u, ParseCatalogue(L"<line>A|u|</line><line></line><line>B|v|</line>").size());
  EXPECT_EQ(1u, ParseCatalogue(L"<line>A|u|</line><line>B|v|").size());
  EXPECT_TRUE(ParseCatalogue(L"<line>A|u|").empty());
}

// Name and URL of the records as the definition reads them: the n-th "<line>" up to the
// next "</line>", for n = 1, 2, ... until a record comes out empty.
std::vector<std::wstring> RecordNamesByDefinition(const std::wstring& text) {
  std::vector<std::wstring> names;
  std::wstring record;
  for (int n = 1;; ++n) {
    ExtractBetween(text, L"<line>", L"</line>", n, &record);
    if (record.empty()) return names;
    const size_t bar = record.find(L'|');
    std::wstring url;
    ExtractBetween(record, L"|", L"|", 1, &url);
    names.push_back((bar == std::wstring::npos ? L"" : record.substr(0, bar)) + L"/" + url);
  }
}

TEST(ParseCatalogue, ReadsRecordsExactlyAsTheNthRecordDefinitionDoes) {
  // Texts built from markers, bars and letters, so records overlap, nest,
  // end early and break off in every way.
  const wchar_t* pieces[] = {L"<line>", L"</line>", L"|", L"a", L"b", L"<li", L"ne>", L"\r\n"};
  std::mt19937 random(7);
  for (int round = 0; round < 3000; ++round) {
    std::wstring text;
    const int length = static_cast<int>(random() % 24);
    for (int i = 0; i < length; ++i) text += pieces[random() % 8];
    std::vector<std::wstring> names;
    for (const CatalogueEntry& e : ParseCatalogue(text)) names.push_back(e.name + L"/" + e.url);
    ASSERT_EQ(RecordNamesByDefinition(text), names)
        << "text: " << std::string(text.begin(), text.end());
  }
}

TEST(ParseCatalogue, TenThousandRecordsInOnePass) {
  std::wstring text = L"header\r\n";
  for (int i = 0; i < 10000; ++i) {
    text += L"<line>Image " + std::to_wstring(i) + L"|http://h/" + std::to_wstring(i) + L".GHO|" +
            std::to_wstring(i) + L".GHO|" + std::wstring(200, L'i') + L"|4GB|m|c|</line>\r\n";
  }
  auto entries = ParseCatalogue(text);
  ASSERT_EQ(10000u, entries.size());
  EXPECT_EQ(L"Image 9999", entries.back().name);
  EXPECT_EQ(L"9999.GHO", entries.back().fileName);
}

TEST(LoadCatalogue, FetchesTheCataloguePathAndFillsInOrder) {
  FakeFetcher http;
  http.answers[L"http://host:81/kavi/xitong.txt"] =
      L"<line>A|u|f|i|s|m|c|</line><line>B|u|f|i|s|m|c|</line>";
  SystemCatalogue catalogue;
  EXPECT_TRUE(LoadCatalogue(http, L"http://host:81", catalogue));
  EXPECT_EQ((std::vector<std::wstring>{L"http://host:81/kavi/xitong.txt"}), http.requests);
  ASSERT_EQ(2u, catalogue.Count());
  EXPECT_EQ(L"A", catalogue.At(0).name);
  EXPECT_EQ(L"B", catalogue.At(1).name);
  EXPECT_EQ(L"", catalogue.At(2).name);
}

TEST(LoadCatalogue, EmptyAnswerFailsAndClearsWhileTextWithoutRecordsSucceeds) {
  FakeFetcher http;
  SystemCatalogue catalogue;
  CatalogueEntry old;
  old.name = L"old";
  catalogue.Replace({old});
  EXPECT_FALSE(LoadCatalogue(http, L"http://h", catalogue));
  EXPECT_EQ(0u, catalogue.Count());

  http.answers[L"http://h/kavi/xitong.txt"] = L"<html>maintenance</html>";
  EXPECT_TRUE(LoadCatalogue(http, L"http://h", catalogue));
  EXPECT_EQ(0u, catalogue.Count());
}

}  // namespace
}  // namespace kavi
