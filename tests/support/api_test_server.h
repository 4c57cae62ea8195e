#pragma once
// A loopback chat API server for tests: TLS with the test CA's certificate,
// a real WebSocket upgrade and framing, JSON messages. It answers the login
// exchange itself (an API key other than the expected one is refused with a
// status) and plays the channel a test gives it; everything else the client
// sends is recorded for the test to answer or check.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tolvik::testing {

using namespace std::chrono_literals;

class ApiTestServer {
 public:
  explicit ApiTestServer(std::string api_key = "good-key");
  ~ApiTestServer();
  ApiTestServer(const ApiTestServer&) = delete;
  ApiTestServer& operator=(const ApiTestServer&) = delete;

  uint16_t port() const { return port_; }
  // "wss://127.0.0.1:PORT/v1/rpc/chat"
  std::string url() const;

  // The key the server accepts from the next login on.
  void setApiKey(std::string api_key);
  // While off, authentication and connect requests are recorded but never
  // answered (respond() answers them by hand), and no channel is played.
  void setAnswersLogin(bool on);
  // Messages sent right after the ConnectResponse of each connection.
  void setChannelScript(std::vector<std::string> messages);
  // From now on the upgrade is answered with what `answer` makes of the
  // right Sec-WebSocket-Accept value (for clients that must refuse a wrong
  // answer); the connection then goes on as a WebSocket all the same.
  void setUpgradeAnswer(std::function<std::string(const std::string& accept)> answer);

  // Sends a text frame (any bytes, valid UTF-8 or not) to the newest client.
  void send(const std::string& text);
  // Answers request `request_id` of `command` ("Botapichat.KickUserRequest"
  // -> "...Response"), with a failure status when area is not 0.
  void respond(const std::string& request_command, int64_t request_id, int area = 0, int code = 0);
  void ping();
  // Closes the newest connection without a WebSocket close.
  void dropClient();

  int clientCount() const;
  bool waitForClients(int count, std::chrono::milliseconds timeout = 5s) const;
  // Every text message the newest client sent (the login exchange included).
  std::vector<std::string> received() const;
  // Waits for a message containing `text`; returns it (empty on timeout).
  std::string waitForReceived(const std::string& text, std::chrono::milliseconds timeout = 5s) const;
  int pongs() const;
  bool closeFrameReceived() const;
  // The newest client closed its connection.
  bool waitForClientGone(std::chrono::milliseconds timeout = 5s) const;

 private:
  struct Out {
    enum Kind { kText, kPing, kDrop } kind;
    std::string text;
  };
  void Loop();
  void Serve(int fd);
  void Wake();

  std::string api_key_;
  int listen_fd_ = -1;
  int wake_pipe_[2] = {-1, -1};
  uint16_t port_ = 0;
  bool stop_ = false;
  mutable std::mutex mutex_;
  mutable std::condition_variable cv_;
  std::vector<std::string> script_;
  bool answers_login_ = true;
  std::function<std::string(const std::string&)> upgrade_answer_;
  std::deque<Out> out_;
  std::vector<std::string> received_;
  int clients_ = 0;
  int pongs_ = 0;
  bool close_received_ = false;
  bool client_gone_ = false;
  std::thread thread_;
};

}  // namespace tolvik::testing
