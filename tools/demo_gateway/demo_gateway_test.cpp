// The demo gateway on a real loopback socket, driven by a raw client.
#include "demo_gateway.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <string>

namespace tolvik::demo {
namespace {

using namespace std::chrono_literals;

class Client {
 public:
  explicit Client(uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  }
  ~Client() { close(); }
  bool connected() const { return connected_; }
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

  // A client without the chat selector is told so and hung up on.
  DemoGateway other({.port = 0});
  auto ended = std::async(std::launch::async, [&] { return other.run(); });
  Client web(other.port());
  web.send("GET / HTTP/1.0\r\n\r\n");
  EXPECT_TRUE(web.waitFor("text chat protocol"));
  EXPECT_TRUE(web.waitClosed());
  web.close();
  ASSERT_EQ(ended.wait_for(5s), std::future_status::ready);
}

}  // namespace
}  // namespace tolvik::demo
