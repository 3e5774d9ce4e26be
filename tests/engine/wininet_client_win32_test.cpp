// The engine's WinINet transport against a development service host of its
// own (under Wine): bodies pass whole through the transfer queue, and a
// silent server or an abort never holds a caller.
#include "engine/wininet_client_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests/support/devhost_client.h"

namespace kavi {
namespace engine {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
  return bytes;
}

// Reads until the end or a failure; the result of the last Read in *last.
std::string ReadAll(HttpStream* stream, int64_t* last) {
  std::string out;
  for (;;) {
    const char* data = nullptr;
    *last = stream->Next(&data);
    if (*last <= 0) return out;
    out.append(data, static_cast<size_t>(*last));
  }
}

class WinInetTransport : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host_.Available()) << "run through ctest, which starts the service host";
    ASSERT_TRUE(host_.SetRules("{}"));
    // Sound servers get the program's own stall limit; the cases about
    // silence shorten it.
  }
  DevHost host_;
  WinInetClients clients_;
};

TEST_F(WinInetTransport, RangesAndWholeBodiesArriveIntact) {
  const std::string body = Pattern(3 * 1024 * 1024 + 17);
  ASSERT_TRUE(host_.PutFile(L"/t/a.bin", body));
  auto client = clients_.Create();
  HttpHead head;
  auto stream = client->Get(host_.Url(L"/t/a.bin"), 0, -1, &head);
  ASSERT_NE(nullptr, stream);
  EXPECT_EQ(206, head.status);
  EXPECT_EQ(static_cast<int64_t>(body.size()), head.rangeTotal);
  int64_t last = 0;
  const std::string whole = ReadAll(stream.get(), &last);
  EXPECT_EQ(body.size(), whole.size());
  EXPECT_TRUE(whole == body);
  EXPECT_EQ(0, last);

  stream = client->Get(host_.Url(L"/t/a.bin"), 1000, 1999, &head);
  ASSERT_NE(nullptr, stream);
  EXPECT_EQ(1000, head.rangeFirst);
  EXPECT_TRUE(body.substr(1000, 1000) == ReadAll(stream.get(), &last));

  EXPECT_EQ(nullptr, client->Get(host_.Url(L"/t/missing.bin"), 0, -1, &head));
  EXPECT_EQ(404, head.status);
}

TEST_F(WinInetTransport, SilentServerBreaksTheStreamAfterTheStallLimit) {
  const std::string body = Pattern(1024 * 1024);
  ASSERT_TRUE(host_.PutFile(L"/t/s.bin", body));
  ASSERT_TRUE(host_.SetRules(R"({"/t/s.bin": {"stall_after": 300000}})"));
  clients_.SetStallLimit(seconds(2));
  auto client = clients_.Create();
  HttpHead head;
  auto stream = client->Get(host_.Url(L"/t/s.bin"), 0, -1, &head);
  ASSERT_NE(nullptr, stream);
  int64_t last = 0;
  // Without the stall watch the read would wait for ever (the host keeps the
  // connection open), and the suite would run into its time limit.
  // A read waits for a whole chunk, so the bytes of an unfinished one are
  // lost with the connection; what was handed out is the body's start.
  const std::string got = ReadAll(stream.get(), &last);
  EXPECT_LE(got.size(), 300000u);
  EXPECT_TRUE(body.compare(0, got.size(), got) == 0);
  EXPECT_EQ(-1, last) << "a broken connection, which the engine retries";
}

TEST_F(WinInetTransport, ServerThatNeverAnswersIsNoAnswer) {
  ASSERT_TRUE(host_.PutFile(L"/t/d.bin", "data"));
  ASSERT_TRUE(host_.SetRules(R"({"/t/d.bin": {"delay": 30}})"));
  clients_.SetStallLimit(seconds(2));
  auto client = clients_.Create();
  HttpHead head;
  EXPECT_EQ(nullptr, client->Get(host_.Url(L"/t/d.bin"), 0, -1, &head));
  EXPECT_EQ(0, head.status);
}

TEST_F(WinInetTransport, AbortWakesAReadWaitingOnASilentServer) {
  ASSERT_TRUE(host_.PutFile(L"/t/w.bin", Pattern(200000)));
  ASSERT_TRUE(host_.SetRules(R"({"/t/w.bin": {"stall_after": 1000}})"));
  // Longer than the suite may run: only the abort can end the read.
  clients_.SetStallLimit(std::chrono::hours(1));
  auto client = clients_.Create();
  HttpHead head;
  auto stream = client->Get(host_.Url(L"/t/w.bin"), 0, -1, &head);
  ASSERT_NE(nullptr, stream);
  std::thread aborter([&] {
    std::this_thread::sleep_for(milliseconds(500));
    client->Abort();
  });
  int64_t last = 0;
  EXPECT_LE(ReadAll(stream.get(), &last).size(), 1000u);
  EXPECT_EQ(-1, last);
  aborter.join();
  EXPECT_EQ(nullptr, client->Get(host_.Url(L"/t/w.bin"), 0, -1, &head)) << "aborted for good";
}

}  // namespace
}  // namespace engine
}  // namespace kavi
