#pragma once
// A scripted chat gateway for tests: a real TCP server on 127.0.0.1 (an
// ephemeral port) inside the test process. It accepts any number of client
// connections, checks each one's protocol selector, plays server bytes in
// chosen chunks and with chosen delays, records every byte each client sends,
// and can close a connection.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tolvik::testing {

using namespace std::chrono_literals;

class ScriptedGateway {
 public:
  // One step of a script: wait `delay`, then send `bytes` as one write.
  struct Chunk {
    std::string bytes;
    std::chrono::milliseconds delay{0};
  };

  // Listens on `port`, or on an ephemeral one when 0.
  explicit ScriptedGateway(uint16_t port = 0);
  ~ScriptedGateway();
  ScriptedGateway(const ScriptedGateway&) = delete;
  ScriptedGateway& operator=(const ScriptedGateway&) = delete;

  uint16_t port() const { return port_; }
  // "127.0.0.1:PORT", usable as the bot's server value.
  std::string address() const;

  // The waits below return as soon as what they wait for has happened; the
  // limit only ends a test that would otherwise hang, so it allows for a
  // heavily loaded machine (starting a program there can take seconds).
  static constexpr std::chrono::milliseconds kWaitLimit = 60s;

  // Waits until `count` clients have connected in all.
  bool waitForClients(int count, std::chrono::milliseconds timeout = kWaitLimit);
  int clientCount() const;
  // Connection `index` (0 = first) began with the bytes 03 04 0D 0A.
  bool selectorOk(int index = -1) const;

  // Sends to the newest client at once, as one write.
  bool send(const std::string& bytes);
  // Sends each chunk after its delay, on the caller's thread.
  bool play(const std::vector<Chunk>& script);
  // The same on a background thread; returns at once. Waits for a previous
  // background script to finish first.
  void playAsync(std::vector<Chunk> script);
  void waitPlayed();

  // Everything the client `index` sent after its selector (-1 = newest).
  std::string received(int index = -1) const;
  // The same cut into lines at LF (the LF removed).
  std::vector<std::string> receivedLines(int index = -1) const;
  // Waits until the newest client has sent something containing `text`.
  bool waitForReceived(const std::string& text, std::chrono::milliseconds timeout = kWaitLimit) const;
  // Waits until the client `index` has closed its side.
  bool waitForClientClose(int index = -1, std::chrono::milliseconds timeout = kWaitLimit) const;

  // Closes the newest connection from the server's side.
  void closeClient();
  // Stops reading from the newest connection: what its client sends piles up
  // (and its client's close is no longer noticed).
  void stopReading();

 private:
  struct Conn {
    int fd = -1;
    std::string bytes;  // all bytes received, selector included
    bool closed_by_peer = false;
    bool reading = true;
  };
  void Loop();
  int Resolve(int index) const;

  int listen_fd_ = -1;
  int wake_pipe_[2] = {-1, -1};
  uint16_t port_ = 0;
  mutable std::mutex mutex_;
  mutable std::condition_variable cv_;
  std::vector<Conn> conns_;
  bool stopping_ = false;
  std::thread thread_;
  std::thread player_;
};

}  // namespace tolvik::testing
