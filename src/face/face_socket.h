#pragma once
// WebSocket messages over a FaceStream, both ends, never blocking: what is
// sent gathers in an output buffer that Flush() hands to the stream as the
// socket takes it, so a slow peer costs memory (which the owner bounds by
// Pending()), never a wait. wslay's frame layer does the framing; the HTTP
// upgrade that opens the WebSocket is read and written here.
#include <wslay/wslay.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tolvik {

class FaceStream;

class FaceSocket {
 public:
  enum class Role { kServer, kClient };
  using MessageHandler = std::function<void(std::string_view message)>;
  static constexpr size_t kMaxUpgradeHeader = 8192;
  static constexpr char kPath[] = "/face";

  // A longer message from the peer fails the connection.
  FaceSocket(Role role, FaceStream& stream, uint64_t max_message);
  ~FaceSocket();
  FaceSocket(const FaceSocket&) = delete;
  FaceSocket& operator=(const FaceSocket&) = delete;

  // Client: queues the upgrade request (Flush() sends it).
  void StartClient(const std::string& host);
  // Reads everything the stream holds: the upgrade first, then frames;
  // each whole message goes to `on_message`; pings and a close are answered
  // into the output buffer. False once the connection is over.
  bool Pump(const MessageHandler& on_message);
  // Queues one text message (nothing once the connection is over).
  void SendText(std::string_view text);
  // Queues a close frame (1000), once.
  void SendClose();
  // Writes as much of the output as the stream takes. False when it failed.
  bool Flush();
  size_t Pending() const { return out_.size() - out_pos_; }
  // The upgrade is done both ways.
  bool Upgraded() const { return upgraded_; }
  bool Over() const { return failed_ || eof_ || close_received_; }
  bool CloseReceived() const { return close_received_; }
  // Why the connection failed, in words (empty when it just ended).
  const std::string& Error() const { return error_; }

 private:
  static ssize_t RecvCallback(uint8_t* buf, size_t len, int, void* self);
  static ssize_t SendCallback(const uint8_t* data, size_t len, int, void* self);
  static int GenmaskCallback(uint8_t* buf, size_t len, void*);
  bool ReadUpgrade();
  void QueueFrame(uint8_t opcode, std::string_view payload);
  void OnFrame(uint8_t opcode, bool fin, const MessageHandler& on_message);
  void Fail(std::string why);

  Role role_;
  FaceStream& stream_;
  uint64_t max_message_;
  wslay_frame_context_ptr ctx_ = nullptr;
  std::string key_;     // the client's Sec-WebSocket-Key
  std::string header_;  // the upgrade header read so far
  std::string pending_;  // bytes read past the upgrade header
  size_t pending_pos_ = 0;
  std::string out_;
  size_t out_pos_ = 0;
  uint64_t frame_left_ = 0;
  bool in_frame_ = false;
  std::string frame_;
  std::string message_;
  bool in_message_ = false;
  bool upgraded_ = false;
  bool eof_ = false;
  bool io_failed_ = false;
  bool failed_ = false;
  bool close_received_ = false;
  bool close_sent_ = false;
  std::string error_;
};

}  // namespace tolvik
