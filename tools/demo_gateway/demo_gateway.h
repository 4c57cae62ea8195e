#pragma once
// A small chat gateway for demonstrations: a real TCP server on 127.0.0.1
// that speaks the chat protocol to one bot. It logs the bot in, lets it join
// channels, and plays a lively channel around it: users of several products
// join, talk, emote, whisper commands, one floods and one is on the bot's
// auto-ban list. It answers what the bot sends the way a gateway would
// (kicks and bans with the matching information line and a leave, whispers
// with their echo, unknown commands with an error line) and ends when the bot
// disconnects. A client that never logs in (a port scanner, a browser, one
// that sends garbage or nothing) is hung up on and the next one is served;
// a client that stops reading never holds the gateway up.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace tolvik::demo {

class DemoGateway {
 public:
  struct Options {
    uint16_t port = 6112;                 // 0: any free port
    std::string channel = "Tolvik Demo";  // where the cast plays
    FILE* log = nullptr;                  // every line in and out, when set
    // A client not logged in by then is hung up on.
    std::chrono::milliseconds loginTime = std::chrono::seconds(30);
    // Bytes waiting for a client that does not read; past this it is hung up on.
    size_t maxBacklog = size_t{1} << 20;
  };

  explicit DemoGateway(Options options);
  ~DemoGateway();
  DemoGateway(const DemoGateway&) = delete;
  DemoGateway& operator=(const DemoGateway&) = delete;

  uint16_t port() const { return port_; }

  // Serves clients one at a time until a bot that logged in disconnects (or
  // is hung up on), or until stop(); 0 then, 1 on a socket failure.
  int run();
  // Ends run() from another thread or a signal handler.
  void stop();

 private:
  struct User {
    std::string name;
    unsigned flags = 0;
    std::string product;
  };
  enum class Phase { Selector, Account, Password, Chatting };

  void onBytes(const char* data, size_t size);
  void onLine(std::string line);
  void onCommand(const std::string& line);
  void onTalk(const std::string& text);
  void send(const std::string& line);
  // Writes what the client takes now, without waiting.
  void flush();
  // Closes the client's connection. True when it was the bot's session,
  // which ends the gateway; otherwise the next client may log in.
  bool dropClient(const char* why);
  // One line of the log, with the seconds since the client connected.
  void log(const char* direction, const std::string& line);
  void info(const std::string& text);
  void error(const std::string& text);
  void enterChannel(const std::string& channel);
  void playDue();
  std::chrono::milliseconds untilNextStep() const;
  User* findUser(const std::string& name);
  void userJoins(const std::string& name, unsigned flags, const std::string& product);
  void userLeaves(const std::string& name, bool tell);
  void toChannel(const std::string& line);
  bool inCastChannel() const { return channel_ == options_.channel; }

  Options options_;
  int listen_fd_ = -1;
  int wake_pipe_[2] = {-1, -1};
  uint16_t port_ = 0;
  int client_fd_ = -1;
  std::chrono::steady_clock::time_point connected_at_ = std::chrono::steady_clock::now();
  std::string outbox_;  // bytes the client has not taken yet

  Phase phase_ = Phase::Selector;
  std::string pending_;  // bytes not yet cut into lines
  std::string account_;
  std::string bot_name_;
  unsigned bot_flags_ = 0x10;
  std::string channel_;
  std::vector<User> users_;  // the cast's channel, without the bot
  std::vector<std::string> banned_;

  // The cast's timeline, counted from the bot's first entry into its channel.
  bool started_ = false;
  std::chrono::steady_clock::time_point start_;
  size_t next_step_ = 0;
  size_t next_ambient_ = 0;
  std::chrono::steady_clock::time_point next_ambient_at_;
  // Answers to the bot's own talk, each with the time it is due.
  std::vector<std::pair<std::chrono::steady_clock::time_point, std::string>> replies_;
};

}  // namespace tolvik::demo
