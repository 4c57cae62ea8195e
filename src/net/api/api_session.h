#pragma once
// One connection to the chat API: TLS, the WebSocket, the login exchange,
// decoding what arrives into event records and sending the queue's lines as
// requests.
//
// Threads: the reading thread calls Read(), any thread calls SendLines()
// (the sender thread, or the main thread for unpaced lines). Every TLS and
// WebSocket call is made under one lock, since an SSL object is not safe
// for concurrent use.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "net/api/api_decoder.h"
#include "net/api/api_url.h"
#include "net/chat_event.h"

namespace tolvik::api {

class TlsStream;
class WebSocketChannel;

class ApiSession {
 public:
  // After a rate-limit answer the next request waits this long.
  static constexpr int kRateLimitPauseMs = 2000;
  static constexpr int kHandshakeTimeoutMs = 10000;

  ~ApiSession();
  ApiSession(const ApiSession&) = delete;
  ApiSession& operator=(const ApiSession&) = delete;

  // Blocking: TLS (certificate and host checked against the system's trust
  // store plus `ca_file`), the WebSocket upgrade, then the authentication
  // request. `fd` is a connected socket; the session makes it non-blocking
  // but does not own it.
  static std::unique_ptr<ApiSession> Open(int fd, const ApiUrl& url, const std::string& api_key,
                                          const std::string& ca_file, std::string* error);

  // Reads what arrived and appends the records to dispatch. False once the
  // connection is over (closed by the server, or failed).
  bool Read(std::vector<ChatEvent>* events);
  // Sends each line of `data` (lines end with LF, CR LF or the data's end)
  // as a request. Lines that cannot be sent become local error records for
  // TakeLocalEvents(). False when the connection failed.
  bool SendLines(std::string_view data, int timeout_ms);
  // The local error records produced by SendLines() since the last call.
  void TakeLocalEvents(std::vector<ChatEvent>* out);
  bool HasLocalEvents() const { return has_local_.load(); }
  // The close sequence: a disconnect request, then a close frame.
  void Close(int timeout_ms);

  const ApiDecoder& Channel() const { return decoder_; }

 private:
  ApiSession(int fd, std::unique_ptr<TlsStream> tls, std::unique_ptr<WebSocketChannel> ws);
  bool Send(const std::string& json, int timeout_ms);
  int64_t NextId() { return next_id_.fetch_add(1); }
  void AddLocal(int id, std::string_view text);
  // What the login answers lead to.
  bool OnLoginAnswer(const ApiDecoder::Answer& answer, std::vector<ChatEvent>* events);

  int fd_;
  std::unique_ptr<TlsStream> tls_;
  std::unique_ptr<WebSocketChannel> ws_;
  std::mutex io_mutex_;  // every TLS and WebSocket call
  std::vector<std::string> inbox_;
  ApiDecoder decoder_;
  std::atomic<int64_t> next_id_{1};
  std::atomic<int64_t> hold_until_ms_{0};
  std::mutex local_mutex_;
  std::vector<ChatEvent> local_;
  std::atomic<bool> has_local_{false};
  std::vector<ChatEvent> scratch_;
  bool over_ = false;
};

}  // namespace tolvik::api
