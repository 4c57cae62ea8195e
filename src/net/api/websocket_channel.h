#pragma once
// WebSocket messages over a TLS stream on a non-blocking socket, framed by
// wslay's frame layer. Framing is all we take from it: its message layer
// drops a connection on the first text frame that is not UTF-8, and the chat
// service sends such frames now and then, so messages are put together here
// and their bytes judged by whoever reads them.
//
// The owner polls the socket and calls Pump(); pings are answered there.
// A pump may be bounded (bytes taken from the stream, messages handed over):
// it then stops with the rest where it lies, and MorePending() says the
// owner must come back even if the socket does not look readable, since
// the TLS layer or the frame layer may hold bytes already.
// Not thread-safe: callers serialise every call, as they do for the stream.
#include <wslay/wslay.h>

#include <atomic>
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

  // What one bounded pump may do.
  struct Limits {
    size_t bytes = SIZE_MAX;     // bytes taken from the TLS stream
    size_t messages = SIZE_MAX;  // messages handed over
  };

  // Reads what the socket and the TLS layer hold, up to `limits`, hands over
  // each message and answers pings and a close. Unbounded, it stops only
  // when both are empty. False once the connection is over: closed by
  // either side, or failed.
  bool Pump(const Limits& limits);
  bool Pump();  // unbounded
  // The last pump stopped at one of its limits: bytes may wait where a poll
  // of the socket does not see them.
  bool MorePending() const { return more_pending_; }
  // Bytes of a message (or control frame) read so far but not handed over.
  size_t PartialBytes() const { return message_.size() + frame_.size(); }
  // While set, a send waiting for the socket also gives up once `*cancel` is
  // set (checked every 100 ms): the opening exchange of a connect attempt.
  void SetCancel(const std::atomic<bool>* cancel) { cancel_ = cancel; }
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
  // A frame's header has arrived: false when the frame fails the connection.
  bool OnFrameStart(const wslay_frame_iocb& iocb);
  // One whole frame's payload has arrived; true when it ended a message,
  // which was handed over.
  bool OnFrame(uint8_t opcode, bool fin);

  TlsStream& tls_;
  MessageHandler on_message_;
  const std::atomic<bool>* cancel_ = nullptr;
  bool client_;
  std::string pending_;
  size_t pending_pos_ = 0;
  wslay_frame_context_ptr ctx_ = nullptr;
  // The frame being read: its remaining payload bytes and what came so far.
  uint64_t frame_left_ = 0;
  bool in_frame_ = false;
  bool frame_is_control_ = false;
  std::string frame_;         // a control frame's payload
  std::string message_;       // data frames of the message being put together
  bool in_message_ = false;
  // This pump's bytes still allowed; set when the stream had nothing more.
  size_t read_left_ = SIZE_MAX;
  bool starved_ = false;
  bool more_pending_ = false;
  bool eof_ = false;
  bool io_failed_ = false;
  bool failed_ = false;
  bool close_received_ = false;
  bool close_sent_ = false;
  int pongs_ = 0;
};

}  // namespace tolvik::api
