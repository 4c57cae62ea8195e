#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "net/server_address.h"
#include "support/recording_connection.h"
#include "support/scripted_gateway.h"

namespace tolvik {
namespace {

using namespace std::chrono_literals;
using testing::RecordingConnection;
using testing::ScriptedGateway;

// Polls the connection's socket and reads until `count` handler calls have
// arrived (or the time is up), the way a front-end's event loop does.
bool ReadUntil(RecordingConnection& conn, size_t count, std::chrono::milliseconds timeout = 5s) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (conn.calls.size() < count && std::chrono::steady_clock::now() < deadline) {
    pollfd p{conn.Socket(), POLLIN, 0};
    if (::poll(&p, 1, 50) > 0 && !conn.ReadAvailable()) return false;
    if (conn.PeerClosed()) break;
  }
  return conn.calls.size() >= count;
}

class ChatConnectionWithGateway : public ::testing::Test {
 protected:
  void Connect() {
    conn.SetLoginInfo("acct", "secret", gateway.address().c_str(), 6112);
    ASSERT_EQ(conn.ConnectWithRetries(), kStateWaitingForLoginPrompt);
    ASSERT_TRUE(gateway.waitForClients(1));
  }
  ScriptedGateway gateway;
  RecordingConnection conn;
};

TEST_F(ChatConnectionWithGateway, SendsTheSelectorAndReceivesASplitStreamInOrder) {
  Connect();
  EXPECT_TRUE(gateway.selectorOk());
  EXPECT_EQ(gateway.received(), "");

  // Lines cut at awkward places: inside a number, between CR and LF, inside a
  // quoted text, and several lines in one chunk.
  std::vector<std::string> lines = {
      "2010 NAME acct",          "1007 CHANNEL \"Home Base\"", "1001 USER Ann 0010 [STAR]",
      "1002 JOIN Bob 0000 [SEXP]", "1005 TALK Ann 0000 \"hello \"there\" all\"", "1003 LEAVE Bob 0000",
      "Raw notice",              "1004 WHISPER Ann 0000 \"hi bot\"",
  };
  std::string stream;
  for (const auto& l : lines) stream += l + "\r\n";
  std::vector<ScriptedGateway::Chunk> script;
  const size_t cuts[] = {1, 3, 15, 16, 40, 41, 90, 140, 141, stream.size()};
  size_t prev = 0;
  for (size_t cut : cuts) {
    script.push_back({stream.substr(prev, cut - prev), 20ms});
    prev = cut;
  }
  gateway.playAsync(script);
  ASSERT_TRUE(ReadUntil(conn, lines.size()));
  gateway.waitPlayed();

  std::vector<std::string> handlers;
  for (const auto& c : conn.calls) handlers.push_back(c.handler);
  EXPECT_EQ(handlers, (std::vector<std::string>{"OnName", "OnChannel", "OnShowUser", "OnJoin", "OnTalk",
                                                "OnLeave", "OnRawLine", "OnWhisper"}));
  EXPECT_EQ(conn.calls[4].text, "hello \"there\" all");
  EXPECT_EQ(conn.calls[6].text, "Raw notice");
  EXPECT_STREQ(conn.CurrentChannel(), "Home Base");
  EXPECT_EQ(conn.event_lines, 7);
}

TEST_F(ChatConnectionWithGateway, SendLineWritesAtOnceAndPeerCloseIsSeen) {
  Connect();
  EXPECT_TRUE(conn.SendLine("%s\r\n%s\r\n", "acct", "secret"));
  EXPECT_TRUE(gateway.waitForReceived("acct\r\nsecret\r\n"));

  gateway.closeClient();
  auto deadline = std::chrono::steady_clock::now() + 5s;
  while (!conn.PeerClosed() && std::chrono::steady_clock::now() < deadline) {
    pollfd p{conn.Socket(), POLLIN, 0};
    if (::poll(&p, 1, 50) > 0) {
      ASSERT_TRUE(conn.ReadAvailable());
    }
  }
  EXPECT_TRUE(conn.PeerClosed());

  conn.CloseSocket();
  EXPECT_EQ(conn.Socket(), -1);
  EXPECT_FALSE(conn.ReadAvailable());
  EXPECT_FALSE(conn.SendLine("x\r\n"));
}

TEST(ChatConnection, GivesUpAfterThreeAttemptsWithPausesBetween) {
  // A port nobody listens on: bind a socket, note its port, close it.
  uint16_t dead_port;
  {
    ScriptedGateway g;
    dead_port = g.port();
  }
  RecordingConnection conn;
  std::vector<int> pauses;
  conn.SetRetryPause([&](int ms) { pauses.push_back(ms); });
  char* buf = nullptr;
  size_t size = 0;
  FILE* log = open_memstream(&buf, &size);
  conn.AttachLog(log);
  conn.SetLoginInfo("a", "b", ("127.0.0.1:" + std::to_string(dead_port)).c_str(), 6112);
  EXPECT_EQ(conn.ConnectWithRetries(), kStateConnectionFailed);
  EXPECT_EQ(pauses, (std::vector<int>{5000, 5000, 5000}));
  EXPECT_EQ(conn.Socket(), -1);
  fflush(log);
  EXPECT_EQ(std::string(buf, size),
            "Attempting to connect...\r\nConnect() failed.\r\nConnect() failed.\r\nConnect() failed.\r\n"
            "Unable to log on after 3 tries - giving up.\r\n");
  conn.AttachLog(nullptr);
  free(buf);
}

TEST(ServerAddress, DottedAddressesNamesAndPorts) {
  sockaddr_storage a{};
  socklen_t len = 0;
  auto v4 = [&] { return reinterpret_cast<sockaddr_in*>(&a); };

  ASSERT_TRUE(ResolveServer("127.0.0.1", 6112, &a, &len));
  EXPECT_EQ(ntohs(v4()->sin_port), 6112);
  EXPECT_EQ(ntohl(v4()->sin_addr.s_addr), 0x7F000001u);

  ASSERT_TRUE(ResolveServer("localhost:7000", 6112, &a, &len));
  EXPECT_EQ(a.ss_family, AF_INET);
  EXPECT_EQ(ntohs(v4()->sin_port), 7000);

  ASSERT_TRUE(ResolveServer("[::1]:6200", 6112, &a, &len));
  EXPECT_EQ(a.ss_family, AF_INET6);
  EXPECT_EQ(ntohs(reinterpret_cast<sockaddr_in6*>(&a)->sin6_port), 6200);

  // Digits and dots are never looked up by name; the empty server is no address.
  EXPECT_FALSE(ResolveServer("", 6112, &a, &len));
  EXPECT_FALSE(ResolveServer("1.2.3.4.5", 6112, &a, &len));
  EXPECT_FALSE(ResolveServer("host:0", 6112, &a, &len));
  EXPECT_FALSE(ResolveServer("host:99999", 6112, &a, &len));
  EXPECT_FALSE(ResolveServer("::1", 6112, &a, &len));
  EXPECT_FALSE(ResolveServer("[::1", 6112, &a, &len));
  EXPECT_FALSE(ResolveServer("no-such-host.invalid", 6112, &a, &len));
}

TEST(ServerAddress, ThePortRunsUpTo65535) {
  std::vector<SocketAddress> out;
  ASSERT_EQ(ResolveServerAddresses("127.0.0.1:65535", 6112, &out).kind, FailureKind::None);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(ntohs(reinterpret_cast<const sockaddr_in*>(&out[0].addr)->sin_port), 65535);

  const ConnectFailure past = ResolveServerAddresses("127.0.0.1:65536", 6112, &out);
  EXPECT_EQ(past.kind, FailureKind::NameNotFound);
  EXPECT_EQ(past.detail, "\"127.0.0.1:65536\" is not a valid server address");
  EXPECT_TRUE(out.empty());
}

}  // namespace
}  // namespace tolvik
