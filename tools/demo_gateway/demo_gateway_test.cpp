// The demo gateway on a real loopback socket, driven by a raw client.
#include "demo_gateway.h"

#include "app/starter_files.h"
#include "settings/font_records.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <string>
#include <utility>

namespace tolvik::demo {
namespace {

using namespace std::chrono_literals;

class Client {
 public:
  // `receiveBuffer`: a small receive window, so a client that does not read
  // fills the gateway's side soon.
  explicit Client(uint16_t port, int receiveBuffer = 0) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (receiveBuffer > 0) ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  }
  ~Client() { close(); }
  Client(Client&& other) noexcept
      : fd_(std::exchange(other.fd_, -1)), connected_(other.connected_), closed_(other.closed_),
        in_(std::move(other.in_)), consumed_(other.consumed_) {}
  bool connected() const { return connected_; }
  int fd() const { return fd_; }
  void send(const std::string& bytes) { ASSERT_EQ(::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL), (ssize_t)bytes.size()); }
  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  // Reads until the input holds `text` after what earlier waits consumed.
  bool waitFor(const std::string& text, std::chrono::milliseconds timeout = 5s) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
      size_t at = in_.find(text, consumed_);
      if (at != std::string::npos) {
        consumed_ = at + text.size();
        return true;
      }
      if (std::chrono::steady_clock::now() >= deadline || closed_) return false;
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 50) > 0) {
        char buf[4096];
        ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        if (n <= 0) closed_ = true;
        else in_.append(buf, static_cast<size_t>(n));
      }
    }
  }
  bool waitClosed() { return !waitFor("\x01\x02never", 5s) && closed_; }

 private:
  int fd_ = -1;
  bool connected_ = false;
  bool closed_ = false;
  std::string in_;
  size_t consumed_ = 0;
};

// A client that has logged in as "bot".
Client LogIn(uint16_t port, int receiveBuffer = 0) {
  Client bot(port, receiveBuffer);
  EXPECT_TRUE(bot.connected());
  bot.send(std::string("\x03\x04\r\n", 4));
  EXPECT_TRUE(bot.waitFor("password.\r\n"));
  bot.send("bot\r\npw\r\n");
  EXPECT_TRUE(bot.waitFor("2010 NAME bot\r\n"));
  return bot;
}

TEST(DemoGateway, LogsInJoinsAnswersKicksAndBansAndEndsWithTheClient) {
  DemoGateway gateway({.port = 0, .channel = "Test Room"});
  auto done = std::async(std::launch::async, [&] { return gateway.run(); });
  Client bot(gateway.port());
  ASSERT_TRUE(bot.connected());
  bot.send(std::string("\x03\x04\r\n", 4));
  ASSERT_TRUE(bot.waitFor("password.\r\n"));
  bot.send("Acct\r\npw\r\n");
  ASSERT_TRUE(bot.waitFor("2010 NAME Acct\r\n"));
  ASSERT_TRUE(bot.waitFor("1007 CHANNEL \"Lobby\"\r\n"));

  bot.send("/join test room\n");
  ASSERT_TRUE(bot.waitFor("1007 CHANNEL \"Test Room\"\r\n1001 USER Acct 0012 [CHAT]\r\n"));
  // The cast arrives one by one; the first is in after about a second.
  ASSERT_TRUE(bot.waitFor("1002 JOIN Kestrel 0000 [SEXP]\r\n"));
  bot.send("hello Kestrel\n");  // talk is not echoed, but answered
  EXPECT_TRUE(bot.waitFor("1005 TALK Kestrel 0000 \"hi Acct!\"\r\n"));
  bot.send("/kick Kestrel out you go\n");
  EXPECT_TRUE(bot.waitFor("1018 INFO \"Kestrel was kicked out of the channel by Acct (out you go).\"\r\n"
                          "1003 LEAVE Kestrel 0000\r\n"));
  bot.send("/kick Nobody\n");
  EXPECT_TRUE(bot.waitFor("1019 ERROR \"That user is not logged on.\"\r\n"));
  bot.send("/ban Grief\n/unban grief\n/unban grief\n");
  EXPECT_TRUE(bot.waitFor("1018 INFO \"Grief was banned by Acct.\"\r\n"));
  EXPECT_TRUE(bot.waitFor("1018 INFO \"Grief was unbanned by Acct.\"\r\n"));
  EXPECT_TRUE(bot.waitFor("1019 ERROR \"That user is not banned.\"\r\n"));
  bot.send("/msg Nobody hello\n/frobnicate\n");
  EXPECT_TRUE(bot.waitFor("1019 ERROR \"That user is not logged on.\"\r\n"));
  EXPECT_TRUE(bot.waitFor("1019 ERROR \"That is not a valid command."));
  bot.send("/resign\n/kick Moss\n");
  EXPECT_TRUE(bot.waitFor("1009 USER Acct 0010\r\n1019 ERROR \"You are not a channel operator.\"\r\n"));

  bot.close();
  ASSERT_EQ(done.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(done.get(), 0);
}

TEST(DemoGateway, SurvivesWhatNoBotWouldSend) {
  DemoGateway gateway({.port = 0});
  auto done = std::async(std::launch::async, [&] { return gateway.run(); });
  {
    Client bot(gateway.port());
    bot.send(std::string("\x03\x04\r\n", 4));
    ASSERT_TRUE(bot.waitFor("password.\r\n"));
    bot.send("\r\n\r\n");  // an empty login is refused, and asked for again
    EXPECT_TRUE(bot.waitFor("Login Incorrect\r\n"));
    bot.send("a\r\nb\r\n");
    ASSERT_TRUE(bot.waitFor("2010 NAME a\r\n"));
    bot.send(std::string(10000, 'x'));  // no line end at all
    const char odd[] = "/\n/ \n/kick\n/ban \n/msg\n/msg x\n/join\n/whois\n/me\n\0\xff\x01\n";
    bot.send(std::string(odd, sizeof odd - 1));
    bot.send("/whoami\n");
    EXPECT_TRUE(bot.waitFor("1018 INFO \"You are a, using a chat client in the channel Lobby.\"\r\n"));
  }
  ASSERT_EQ(done.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(done.get(), 0);

  // A client without the chat selector is told so and hung up on; the
  // gateway goes on serving until a bot's session ends.
  DemoGateway other({.port = 0});
  auto ended = std::async(std::launch::async, [&] { return other.run(); });
  Client web(other.port());
  web.send("GET / HTTP/1.0\r\n\r\n");
  EXPECT_TRUE(web.waitFor("text chat protocol"));
  EXPECT_TRUE(web.waitClosed());
  web.close();
  EXPECT_EQ(ended.wait_for(300ms), std::future_status::timeout);
  LogIn(other.port()).close();
  ASSERT_EQ(ended.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(ended.get(), 0);
}

// ---- Clients that are no bot, or stop reading

TEST(DemoGatewayClients, ClientsThatNeverLogInDoNotEndTheGateway) {
  DemoGateway gateway({.port = 0, .loginTime = 300ms});
  auto done = std::async(std::launch::async, [&] { return gateway.run(); });
  {
    Client garbage(gateway.port());
    garbage.send(std::string("\x03\x04\r\n", 4));  // the selector, then gone before the password
    ASSERT_TRUE(garbage.waitFor("password.\r\n"));
    garbage.send("acct\r\n");
  }
  EXPECT_EQ(done.wait_for(200ms), std::future_status::timeout);
  {
    Client silent(gateway.port());  // says nothing: hung up on after the login time
    EXPECT_TRUE(silent.waitClosed());
  }
  EXPECT_EQ(done.wait_for(200ms), std::future_status::timeout);

  // Whoever logs in next is served as the first one was not.
  Client bot = LogIn(gateway.port());
  bot.send("/whoami\n");
  EXPECT_TRUE(bot.waitFor("You are bot, using a chat client in the channel Lobby."));
  bot.close();
  ASSERT_EQ(done.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(done.get(), 0);
}

// Asks for far more answers than the kernel's buffers hold, and reads none.
void FloodWithoutReading(int fd) {
  const std::string burst = [] {
    std::string b;
    for (int i = 0; i < 200000; ++i) b += "/help\n";
    return b;
  }();
  size_t off = 0;
  while (off < burst.size()) {
    ssize_t n = ::send(fd, burst.data() + off, burst.size() - off, MSG_NOSIGNAL);
    if (n <= 0) return;  // hung up on
    off += static_cast<size_t>(n);
  }
}

TEST(DemoGatewayClients, ABotThatStopsReadingIsHungUpOn) {
  DemoGateway gateway({.port = 0, .maxBacklog = 64 * 1024});
  auto done = std::async(std::launch::async, [&] { return gateway.run(); });
  Client bot = LogIn(gateway.port(), 4096);
  FloodWithoutReading(bot.fd());
  ASSERT_EQ(done.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(done.get(), 0);
}

TEST(DemoGatewayClients, StopEndsTheGatewayWhileTheBotStopsReading) {
  DemoGateway gateway({.port = 0, .maxBacklog = size_t{1} << 30});
  auto done = std::async(std::launch::async, [&] { return gateway.run(); });
  Client bot = LogIn(gateway.port(), 4096);
  FloodWithoutReading(bot.fd());  // returns once the gateway has read it all
  EXPECT_EQ(done.wait_for(100ms), std::future_status::timeout);
  gateway.stop();
  ASSERT_EQ(done.wait_for(2s), std::future_status::ready);
  EXPECT_EQ(done.get(), 0);
}

// The demo bot shows its lines in a new profile's colours, every text type
// in its own, not the plain white of a Bot.ini without [Fonts].
TEST(DemoChannelFiles, TheDemoBotIniHasANewProfilesColourScheme) {
  const TextFormats shown = LoadTextFormats(TOLVIK_DEMO_CHANNEL_DIR "/Bot.ini.in");
  const TextFormats starter = StarterTextFormats();
  for (int i = 0; i < kTextTypeCount; ++i)
    EXPECT_EQ(shown[i], starter[i]) << TextTypeKey(TextTypeAt(i));
}

}  // namespace
}  // namespace tolvik::demo
