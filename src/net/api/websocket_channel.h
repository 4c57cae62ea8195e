#pragma once
// WebSocket messages over a TLS stream on a non-blocking socket, framed by
// wslay's frame layer. Framing is all we take from it: its message layer
// drops a connection on the first text frame that is not UTF-8, and the chat
// service sends such frames now and then, so messages are put together here
// and their bytes judged by whoever reads them.
//
// The owner polls the socket and calls Pump(); pings are answered there.
// Not thread-safe: callers serialise every call, as they do for the stream.
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
  // Longest message taken; a longer one fails the connection.
  static constexpr uint64_t kMaxMessage = 1 << 20;
  // How long answering a ping or a close may wait for the socket.
  static constexpr int kControlTimeoutMs = 1000;

  // `pending` holds bytes already read past the upgrade's header.
  WebSocketChannel(Role role, TlsStream& tls, MessageHandler on_message, std::string pending = {});
  ~WebSocketChannel();
  WebSocketChannel(const WebSocketChannel&) = delete;
  WebSocketChannel& operator=(const WebSocketChannel&) = delete;

  // Reads everything the socket and the TLS layer hold (so nothing waits in a
  // buffer that the socket's readiness would not announce), hands over each
  // message and answers pings and a close. False once the connection is
  // over: closed by either side, or failed.
  bool Pump();
  // Sends one text message, waiting for the socket for at most `timeout_ms`.
  bool SendText(std::string_view text, int timeout_ms);
  // Sends a ping (tests and the demo gateway play the server's pings).
  bool SendPing(int timeout_ms);
  // Sends a close frame (1000) unless one was sent already.
  bool SendClose(int timeout_ms);
  bool CloseReceived() const { return close_received_; }
  bool Failed() const { return failed_; }
  int PongsReceived() const { return pongs_; }

 private:
  static ssize_t RecvCallback(uint8_t* buf, size_t len, int, void* self);
  static ssize_t SendCallback(const uint8_t* data, size_t len, int, void* self);
  static int GenmaskCallback(uint8_t* buf, size_t len, void*);
  bool SendFrame(uint8_t opcode, std::string_view payload, int timeout_ms);
  // One whole frame's payload has arrived.
  void OnFrame(uint8_t opcode, bool fin);

  TlsStream& tls_;
  MessageHandler on_message_;
  bool client_;
  std::string pending_;
  size_t pending_pos_ = 0;
  wslay_frame_context_ptr ctx_ = nullptr;
  // The frame being read: its remaining payload bytes and what came so far.
  uint64_t frame_left_ = 0;
  bool in_frame_ = false;
  std::string frame_;
  std::string message_;       // data frames of the message being put together
  bool in_message_ = false;
  bool eof_ = false;
  bool io_failed_ = false;
  bool failed_ = false;
  bool close_received_ = false;
  bool close_sent_ = false;
  int pongs_ = 0;
};

}  // namespace tolvik::api
