#include "face/tls_face_stream.h"

#include <unistd.h>

namespace tolvik {
namespace {

long FromTls(long r) {
  if (r == api::kTlsWouldBlock) return kFaceWouldBlock;
  if (r == api::kTlsFailed) return kFaceFailed;
  return r;
}

}  // namespace

TlsFaceStream::~TlsFaceStream() {
  tls_.reset();
  ::close(fd_);
}

long TlsFaceStream::Read(void* buf, size_t len) { return FromTls(tls_->Read(buf, len)); }

long TlsFaceStream::Write(const void* data, size_t len) { return FromTls(tls_->Write(data, len)); }

}  // namespace tolvik
