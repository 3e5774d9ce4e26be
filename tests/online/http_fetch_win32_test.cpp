// HttpGetText and HttpGetToFile through Wine's WinINet against the
// development service host.
#include "online/http_fetch.h"

#include <gtest/gtest.h>

#include "tests/online/devhost_fixture.h"
#include "tests/support/win32_test_util.h"

namespace kavi {
namespace {

// Nothing listens on port 1 of the loopback.
const wchar_t kRefused[] = L"http://127.0.0.1:1/kavi/xitong.txt";

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + i % 26);
  return bytes;
}

using HttpGetTextTest = DevHostTest;
using HttpGetToFileTest = DevHostTest;

TEST_F(HttpGetTextTest, ErrorStatusesGiveEmptyTextAndKeepThePreviousResponse) {
  ASSERT_TRUE(host.PutFile(L"/t/ok.txt", "first"));
  HttpTextClient client;
  ASSERT_EQ(L"first", HttpGetText(client, host.Url(L"/t/ok.txt")));
  host.SetRules(R"({"/t/404": {"status": 404, "body": "not here"},
                    "/t/500": {"status": 500, "body": "boom"}})");
  EXPECT_EQ(L"", HttpGetText(client, host.Url(L"/t/404")));
  EXPECT_EQ(L"", HttpGetText(client, host.Url(L"/t/500")));
  EXPECT_EQ(L"", HttpGetText(client, kRefused));
  EXPECT_EQ(L"first", client.Text());
  EXPECT_EQ("first", client.Body());
}

TEST_F(HttpGetTextTest, EmptyBodyGivesEmptyText) {
  host.SetRules(R"({"/t/empty": {"status": 200, "body": ""}})");
  HttpTextClient client;
  EXPECT_EQ(L"", HttpGetText(client, host.Url(L"/t/empty")));
}

TEST_F(HttpGetTextTest, BodyOverSeveralReadsArrivesWhole) {
  const std::string body = Pattern(2500);
  ASSERT_TRUE(host.PutFile(L"/t/2500.txt", body));
  HttpTextClient client;
  std::wstring text = HttpGetText(client, host.Url(L"/t/2500.txt"));
  EXPECT_EQ(body, client.Body());
  ASSERT_EQ(2500u, text.size());
  EXPECT_EQ(std::wstring(body.begin(), body.end()), text);
}

TEST_F(HttpGetTextTest, BodyIsDecodedFromCodePage936) {
  ASSERT_TRUE(host.PutFile(L"/t/cn.txt", "Windows 7 \xC6\xEC\xBD\xA2\xB0\xE6 32\xCE\xBB"));
  HttpTextClient client;
  EXPECT_EQ(L"Windows 7 旗舰版 32位", HttpGetText(client, host.Url(L"/t/cn.txt")));
}

TEST_F(HttpGetTextTest, CutOffOrOversizedBodyIsAFailure) {
  ASSERT_TRUE(host.PutFile(L"/t/cut.txt", Pattern(5000)));
  host.SetRules(R"({"/t/cut.txt": {"close_after": 3000},
                    "/t/huge": {"body": "0123456789abcdef", "repeat": 4194305}})");
  HttpTextClient client;
  EXPECT_EQ(L"", HttpGetText(client, host.Url(L"/t/cut.txt")));
  // 64 MiB and 16 bytes.
  EXPECT_EQ(L"", HttpGetText(client, host.Url(L"/t/huge")));
}

TEST_F(HttpGetToFileTest, SavesTheBodyOfA200Answer) {
  std::string bytes = Pattern(5000);
  bytes[10] = '\0';
  ASSERT_TRUE(host.PutFile(L"/files/blob.bin", bytes));
  TempFolder folder;
  EXPECT_EQ(kHttpFileSaved, HttpGetToFile(host.Url(L"/files/blob.bin"), folder / L"blob.bin"));
  EXPECT_EQ(bytes, ReadFileBytes(folder / L"blob.bin"));
}

TEST_F(HttpGetToFileTest, MissingFolderUnreachableHostAndErrorStatusAreToldApart) {
  ASSERT_TRUE(host.PutFile(L"/files/blob.bin", "data"));
  TempFolder folder;
  EXPECT_EQ(kHttpFileNotCreated,
            HttpGetToFile(host.Url(L"/files/blob.bin"), folder / L"missing\\blob.bin"));
  EXPECT_EQ(kHttpUrlNotOpened, HttpGetToFile(kRefused, folder / L"x.bin"));
  EXPECT_FALSE(FileExists(folder / L"x.bin"));

  host.SetRules(R"({"/files/gone.exe": {"status": 404, "body": "<html>404</html>"}})");
  EXPECT_EQ(kHttpErrorStatus, HttpGetToFile(host.Url(L"/files/gone.exe"), folder / L"new.exe"));
  EXPECT_FALSE(FileExists(folder / L"new.exe"));
  // An earlier file at the target is not replaced by the error page.
  ASSERT_TRUE(WriteFileBytes(folder / L"old.exe", "old"));
  EXPECT_EQ(kHttpErrorStatus, HttpGetToFile(host.Url(L"/files/gone.exe"), folder / L"old.exe"));
  EXPECT_EQ("old", ReadFileBytes(folder / L"old.exe"));
}

TEST_F(HttpGetToFileTest, CutOffBodyLeavesNoFile) {
  ASSERT_TRUE(host.PutFile(L"/files/big.bin", Pattern(20000)));
  host.SetRules(R"({"/files/big.bin": {"close_after": 7000}})");
  TempFolder folder;
  EXPECT_EQ(kHttpTransferFailed, HttpGetToFile(host.Url(L"/files/big.bin"), folder / L"big.bin"));
  EXPECT_FALSE(FileExists(folder / L"big.bin"));
}

TEST_F(HttpGetToFileTest, BodyOverTheLimitIsRefusedWithOrWithoutALength) {
  ASSERT_TRUE(host.PutFile(L"/files/big.bin", Pattern(20000)));
  TempFolder folder;
  EXPECT_EQ(kHttpTransferFailed,
            HttpGetToFile(host.Url(L"/files/big.bin"), folder / L"big.bin", 19999));
  EXPECT_FALSE(FileExists(folder / L"big.bin"));
  EXPECT_EQ(kHttpFileSaved, HttpGetToFile(host.Url(L"/files/big.bin"), folder / L"big.bin", 20000));

  // An answer that never ends stops at the limit and leaves nothing behind.
  host.SetRules(R"({"/files/endless.exe": {"endless": true}})");
  EXPECT_EQ(kHttpTransferFailed,
            HttpGetToFile(host.Url(L"/files/endless.exe"), folder / L"endless.exe", 1 << 20));
  EXPECT_FALSE(FileExists(folder / L"endless.exe"));
}

}  // namespace
}  // namespace kavi
