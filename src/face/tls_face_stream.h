#pragma once
// A face's byte stream over TLS: owns the socket and the TLS session. The
// bot's side finishes its handshake while it is first read or written.
#include <memory>

#include "face/face_stream.h"
#include "net/tls_stream.h"

namespace tolvik {

class TlsFaceStream : public FaceStream {
 public:
  // Takes `fd` (non-blocking) and `tls` over it; closes the socket at the end.
  TlsFaceStream(int fd, std::unique_ptr<api::TlsStream> tls) : fd_(fd), tls_(std::move(tls)) {}
  ~TlsFaceStream() override;
  TlsFaceStream(const TlsFaceStream&) = delete;
  TlsFaceStream& operator=(const TlsFaceStream&) = delete;

  int Fd() const override { return fd_; }
  long Read(void* buf, size_t len) override;
  long Write(const void* data, size_t len) override;
  bool HasBuffered() const override { return tls_->HasBuffered(); }
  bool WantsWrite() const override { return tls_->WantsWrite(); }
  void Shutdown() override { tls_->Shutdown(); }

 private:
  int fd_;
  std::unique_ptr<api::TlsStream> tls_;
};

}  // namespace tolvik
