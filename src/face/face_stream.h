#pragma once
// The byte stream a face and the bot talk over: a connected, non-blocking
// socket, plain (a local socket) or wrapped (TLS). The hub and the client
// only read and write through this, and poll Fd().
#include <cstddef>
#include <memory>
#include <string>

namespace tolvik {

// What one read or write came to, beyond a count of bytes.
inline constexpr long kFaceWouldBlock = -1;  // nothing now; poll Fd() and call again
inline constexpr long kFaceFailed = -2;      // the stream is unusable

class FaceStream {
 public:
  virtual ~FaceStream() = default;
  // The socket to poll; the stream owns it and closes it.
  virtual int Fd() const = 0;
  // Bytes read (> 0), 0 when the peer closed, or kFaceWouldBlock / kFaceFailed.
  // A stream may use a read to drive a handshake still under way.
  virtual long Read(void* buf, size_t len) = 0;
  // Bytes written (> 0), or kFaceWouldBlock / kFaceFailed.
  virtual long Write(const void* data, size_t len) = 0;
  // Bytes already taken off the socket that a poll would not announce.
  virtual bool HasBuffered() const { return false; }
  // The stream cannot make progress until the socket is writable (a TLS
  // handshake step); the caller then polls for POLLOUT as well.
  virtual bool WantsWrite() const { return false; }
  // Ends the session politely (best effort, no waiting).
  virtual void Shutdown() {}
};

// A plain socket: reads and writes go straight to the descriptor.
class SocketFaceStream : public FaceStream {
 public:
  // Takes `fd` (made non-blocking here) and closes it at the end.
  explicit SocketFaceStream(int fd);
  ~SocketFaceStream() override;
  SocketFaceStream(const SocketFaceStream&) = delete;
  SocketFaceStream& operator=(const SocketFaceStream&) = delete;

  int Fd() const override { return fd_; }
  long Read(void* buf, size_t len) override;
  long Write(const void* data, size_t len) override;
  void Shutdown() override;

 private:
  int fd_;
};

// Writes all of `data`, polling Fd() while the stream would block, for at
// most `timeout_ms` in all. False when the stream failed or time ran out.
bool WriteAllToFace(FaceStream& stream, const void* data, size_t len, int timeout_ms);

}  // namespace tolvik
