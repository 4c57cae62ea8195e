#pragma once
// WebSocket framing (wslay) over a TLS stream on a non-blocking socket. The
// owner polls the socket and calls Pump(); pings are answered there. Not
// thread-safe: callers serialise every call, as they do for the stream.
#include <wslay/wslay.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tolvik::api {

class TlsStream;

class WebSocketChannel {
 public:
  enum class Role { kClient, kServer };
  // Called once per complete text or binary message.
  using MessageHandler = std::function<void(std::string_view message)>;
  // Longest message taken; a longer one closes the connection.
  static constexpr uint64_t kMaxMessage = 1 << 20;

  // `pending` holds bytes already read past the upgrade's header.
  WebSocketChannel(Role role, TlsStream& tls, MessageHandler on_message, std::string pending = {});
  ~WebSocketChannel();
  WebSocketChannel(const WebSocketChannel&) = delete;
  WebSocketChannel& operator=(const WebSocketChannel&) = delete;

  // Reads everything the socket and the TLS layer hold (so nothing waits in a
  // buffer that the socket's readiness would not announce), hands over each
  // message, and sends what is due (pongs, a close answer). False once the
  // connection is over: closed by either side, or failed.
  bool Pump();
  // Queues a text message and sends it, waiting for the socket for at most
  // `timeout_ms`. False when it could not go out.
  bool SendText(std::string_view text, int timeout_ms);
  // Queues a ping (tests and the demo gateway play the server's pings).
  bool SendPing(int timeout_ms);
  // Sends a close frame (1000) and waits up to `timeout_ms` for it to leave.
  bool SendClose(int timeout_ms);
  bool CloseReceived() const;
  bool Failed() const { return failed_; }
  int PongsReceived() const { return pongs_; }

 private:
  static ssize_t RecvCallback(wslay_event_context_ptr, uint8_t* buf, size_t len, int, void* self);
  static ssize_t SendCallback(wslay_event_context_ptr, const uint8_t* data, size_t len, int, void* self);
  static int GenmaskCallback(wslay_event_context_ptr, uint8_t* buf, size_t len, void*);
  static void OnMessage(wslay_event_context_ptr, const wslay_event_on_msg_recv_arg* arg, void* self);
  bool Flush(int timeout_ms);

  TlsStream& tls_;
  MessageHandler on_message_;
  std::string pending_;
  size_t pending_pos_ = 0;
  wslay_event_context_ptr ctx_ = nullptr;
  bool eof_ = false;
  bool failed_ = false;
  int pongs_ = 0;
};

}  // namespace tolvik::api
