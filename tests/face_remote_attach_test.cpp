// A face attached over TLS with the face password: the bot's hub and
// network listener and a real client in one process, through a relay that
// keeps every byte on the wire; a wrong password is refused, and slowed.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "cli_login.h"
#include "cli_process.h"
#include "face/face_client.h"
#include "face/face_hub.h"
#include "face/face_password.h"
#include "face/remote_face_connect.h"
#include "face/remote_faces.h"
#include "support/scripted_gateway.h"
#include "support/session_fixture.h"

namespace tolvik {
namespace {

using namespace std::chrono_literals;

// Forwards one loopback port to another and keeps what passes either way.
class Relay {
 public:
  explicit Relay(int to_port) : to_port_(to_port) {
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::bind(listen_fd_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    EXPECT_EQ(::listen(listen_fd_, 8), 0);
    socklen_t len = sizeof a;
    ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Run(); });
  }
  ~Relay() {
    stop_ = true;
    thread_.join();
    ::close(listen_fd_);
  }
  int port() const { return port_; }
  std::string wire() {
    std::lock_guard<std::mutex> lock(mutex_);
    return wire_;
  }

 private:
  void Run() {
    std::vector<std::pair<int, int>> pairs;  // (face side, bot side)
    while (!stop_) {
      std::vector<pollfd> polls{{listen_fd_, POLLIN, 0}};
      for (auto [a, b] : pairs) {
        polls.push_back({a, POLLIN, 0});
        polls.push_back({b, POLLIN, 0});
      }
      if (::poll(polls.data(), polls.size(), 50) <= 0) continue;
      if (polls[0].revents & POLLIN) {
        const int face = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
        const int bot = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<uint16_t>(to_port_));
        if (face >= 0 && ::connect(bot, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
          pairs.emplace_back(face, bot);
        } else {
          ::close(face);
          ::close(bot);
        }
        continue;
      }
      for (size_t i = 0; i < pairs.size(); ++i) {
        for (int side = 0; side < 2; ++side) {
          if (!(polls[1 + 2 * i + side].revents & (POLLIN | POLLHUP | POLLERR))) continue;
          const int from = side == 0 ? pairs[i].first : pairs[i].second;
          const int to = side == 0 ? pairs[i].second : pairs[i].first;
          char buf[16384];
          const ssize_t n = ::read(from, buf, sizeof buf);
          if (n <= 0) {
            ::shutdown(to, SHUT_WR);
            continue;
          }
          {
            std::lock_guard<std::mutex> lock(mutex_);
            wire_.append(buf, static_cast<size_t>(n));
          }
          ssize_t put = 0;
          while (put < n) {
            const ssize_t w = ::write(to, buf + put, static_cast<size_t>(n - put));
            if (w <= 0) break;
            put += w;
          }
        }
      }
    }
    for (auto [a, b] : pairs) {
      ::close(a);
      ::close(b);
    }
  }

  int to_port_;
  int port_ = 0;
  int listen_fd_ = -1;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::string wire_;
  std::thread thread_;
};

class FaceRemoteAttachTest : public testing::SessionTest {
 protected:
  void SetUp() override {
    WriteBotIni("[Remote]\r\nListen=127.0.0.1:0\r\n");
    std::string error;
    ASSERT_TRUE(SetFacePassword(dir.path().string(), kFacePassword, &error)) << error;
    Open();
    hub = std::make_unique<FaceHub>(*doc, host);
    ASSERT_TRUE(ListenForRemoteFaces(*doc, *hub));
    ASSERT_TRUE(WaitShown("Faces can attach at 127.0.0.1:"));
    for (const std::string& line : display.texts()) {
      const size_t at = line.find("Faces can attach at 127.0.0.1:");
      if (at != std::string::npos) bot_port = std::stoi(line.substr(at + 30));
    }
    ASSERT_GT(bot_port, 0);
    EXPECT_TRUE(display.contains("the bot's certificate has the SHA-256 fingerprint "));
    EXPECT_FALSE(display.contains("No face password is set"));
    relay = std::make_unique<Relay>(bot_port);
  }
  void TearDown() override {
    hub.reset();
    relay.reset();
  }

  // Connects through the relay; the certificate is taken on the first use.
  std::unique_ptr<FaceStream> Connect() {
    RemoteFaceTrust trust;
    trust.known_faces_file = (dir.path() / "known_faces").string();
    trust.ask = [](const std::string&, const std::string&) { return true; };
    std::string error;
    auto stream = ConnectToRemoteBot("127.0.0.1", relay->port(), trust, 20000, &error);
    EXPECT_NE(stream, nullptr) << error;
    return stream;
  }

  static constexpr char kFacePassword[] = "pw-on-the-wire";
  std::unique_ptr<FaceHub> hub;
  std::unique_ptr<Relay> relay;
  int bot_port = 0;
};

TEST_F(FaceRemoteAttachTest, AFaceWithThePasswordAttachesAndActsAndThePasswordIsNeverInClear) {
  LogIn();
  testing::RecordingDisplay face_display;
  FaceMirror mirror(face_display);
  FaceClient client(mirror);
  std::string error;
  ASSERT_TRUE(client.Open(Connect(), "127.0.0.1", std::string(kFacePassword), 20000, &error)) << error;
  ASSERT_TRUE(Run([&] {
    client.Pump();
    return client.Attached();
  }));
  EXPECT_EQ(mirror.BotName(), "acct");
  EXPECT_TRUE(face_display.contains("Joining Channel: Home"));
  ASSERT_TRUE(client.Say("hello from the laptop"));
  ASSERT_TRUE(WaitSent("hello from the laptop"));
  EXPECT_EQ(hub->FaceCount(), 1u);

  const std::string wire = relay->wire();
  EXPECT_GT(wire.size(), 1000u);
  for (const char* clear : {kFacePassword, "hello from the laptop", "\"hello\"", "Upgrade", "acct"})
    EXPECT_EQ(wire.find(clear), std::string::npos) << clear << " crossed the network in clear";
}

TEST_F(FaceRemoteAttachTest, AWrongPasswordIsAnsweredLateAndATryMeanwhileFromThereIsTurnedAway) {
  struct Try {
    testing::RecordingDisplay display;
    FaceMirror mirror{display};
    FaceClient client{mirror};
  };
  Try first, second;
  // The first face's hello goes with its upgrade, so the bot has it by the
  // time the second face starts to connect. Either may hear its refusal
  // while it is still opening.
  std::string first_error, second_error;
  const bool first_open = first.client.Open(Connect(), "127.0.0.1", std::string("not-it"), 20000, &first_error);
  const bool second_open =
      second.client.Open(Connect(), "127.0.0.1", std::string(kFacePassword), 20000, &second_error);
  ASSERT_TRUE(Run([&] {
    first.client.Pump();
    second.client.Pump();
    return !first.client.Open() && !second.client.Open();
  }));
  if (first_open) first_error = first.client.CloseReason();
  if (second_open) second_error = second.client.CloseReason();
  // The second, with the right password, was not even checked.
  EXPECT_EQ(second_error.rfind("the bot refused: too many wrong passwords from 127.0.0.1", 0), 0u) << second_error;
  EXPECT_EQ(first_error, "the bot refused: wrong password");
  EXPECT_FALSE(first.client.Attached());
  EXPECT_FALSE(second.client.Attached());
  EXPECT_EQ(hub->FaceCount(), 0u);
  EXPECT_FALSE(display.contains("not-it"));
}

// What the bot says when it cannot listen, or listens with no password set.
class FaceRemoteSetupTest : public testing::SessionTest {};

TEST_F(FaceRemoteSetupTest, AMalformedAddressOrAMissingPasswordIsSaidInTheChat) {
  WriteBotIni("[Remote]\r\nListen=127.0.0.1\r\n");
  Open();
  {
    FaceHub hub(*doc, host);
    EXPECT_FALSE(ListenForRemoteFaces(*doc, hub));
    EXPECT_TRUE(display.contains("Bot.ini [Remote] Listen=127.0.0.1 is not host:port"));
    EXPECT_FALSE(display.contains("Faces can attach at 127.0.0.1"));
  }
  doc.reset();
  WriteBotIni("[Remote]\r\nListen=127.0.0.1:0\r\n");
  Open();
  FaceHub hub(*doc, host);
  EXPECT_TRUE(ListenForRemoteFaces(*doc, hub));
  EXPECT_TRUE(WaitShown("Faces can attach at 127.0.0.1:"));
  EXPECT_TRUE(display.contains("No face password is set, so every face over the network is refused; set one with "
                               "tolvik-cli --dir " + dir.path().string() + " --set-face-password"));
}

// The programs themselves: a bot listening on [Remote], faces attaching to
// it with the password from a file, from a pipe and from a terminal.
TEST(FaceRemoteCli, UnknownCertificateRefusedWithoutATerminalPinnedOnYesThenAttached) {
  testing::ScriptedGateway gateway;
  testing::TempDir bot, laptop, home;
  bot.write("Bot.ini", testing::CliBotIni(gateway, "[Remote]\r\nListen=127.0.0.1:0\r\n"));
  std::string error;
  ASSERT_TRUE(SetFacePassword(bot.path().string(), "laptop-pw", &error)) << error;
  laptop.write("pw", "laptop-pw\n");
  testing::CliProcess service({"--dir", bot.path().string()});
  ASSERT_TRUE(service.WaitOutput("Faces can attach at 127.0.0.1:")) << service.output();
  ASSERT_TRUE(service.WaitOutput("\n")) << service.output();
  const std::string shown = service.output();
  const size_t at = shown.find("Faces can attach at 127.0.0.1:") + 30;
  const std::string endpoint = "127.0.0.1:" + std::to_string(std::stoi(shown.substr(at)));
  ASSERT_TRUE(service.WaitOutput("SHA-256 fingerprint ")) << service.output();
  testing::PlayCliLogin(gateway);
  ASSERT_TRUE(service.WaitOutput("Joining Channel: Home")) << service.output();

  const std::map<std::string, std::string> env{{"XDG_CONFIG_HOME", home.path().string()}};
  const std::vector<std::string> args{"--dir", laptop.path().string(), "--attach", endpoint,
                                      "--face-password-file", laptop.file("pw")};
  {
    testing::CliProcess piped(testing::CliStart{args, env, false});
    EXPECT_EQ(piped.Wait(), 1);
    EXPECT_NE(piped.output().find("shows a certificate not seen before"), std::string::npos) << piped.output();
    EXPECT_FALSE(home.exists("tolvik/known_faces"));
  }
  testing::CliProcess face(testing::CliStart{args, env, true});
  ASSERT_TRUE(face.WaitOutput("(yes/no)")) << face.output();
  // The face asks about the fingerprint the bot shows.
  const size_t asked = face.output().find("fingerprint is");
  ASSERT_NE(asked, std::string::npos) << face.output();
  const size_t start = face.output().find_first_not_of(" \r\n", asked + 14);
  const std::string fingerprint = face.output().substr(start, 95);
  EXPECT_NE(service.output().find("SHA-256 fingerprint " + fingerprint), std::string::npos) << fingerprint;
  face.Type("yes\n");
  ASSERT_TRUE(face.WaitOutput("-- Attached to the bot in " + bot.path().string())) << face.output();
  EXPECT_NE(home.read("tolvik/known_faces").find(endpoint + " "), std::string::npos);
  face.Type("hello from the laptop\n");
  ASSERT_TRUE(gateway.waitForReceived("hello from the laptop\n"));
  face.Type("//quit\n");
  EXPECT_EQ(face.Wait(), 0) << face.output();
  EXPECT_EQ(face.output().find("laptop-pw"), std::string::npos);

  // Pinned now: a face without a terminal is let in.
  testing::CliProcess again(testing::CliStart{args, env, false});
  ASSERT_TRUE(again.WaitOutput("-- Attached to the bot in")) << again.output();
  again.Type("//quit\n");
  EXPECT_EQ(again.Wait(), 0) << again.output();

  // A wrong password ends the face (status 1) rather than trying again.
  laptop.write("wrong", "not-it\n");
  testing::CliProcess wrong(testing::CliStart{
      {"--dir", laptop.path().string(), "--attach", endpoint, "--face-password-file", laptop.file("wrong")}, env,
      false});
  EXPECT_EQ(wrong.Wait(), 1) << wrong.output();
  EXPECT_EQ(wrong.output(), "-- wrong password\n");
  EXPECT_EQ(service.output().find("laptop-pw"), std::string::npos);
  EXPECT_EQ(service.output().find("not-it"), std::string::npos);
}

}  // namespace
}  // namespace tolvik
