#include "face/face_stream.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace tolvik {

SocketFaceStream::SocketFaceStream(int fd) : fd_(fd) {
  const int flags = ::fcntl(fd_, F_GETFL);
  if (flags >= 0) ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK);
}

SocketFaceStream::~SocketFaceStream() {
  if (fd_ >= 0) ::close(fd_);
}

long SocketFaceStream::Read(void* buf, size_t len) {
  while (true) {
    const ssize_t n = ::recv(fd_, buf, len, 0);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK ? kFaceWouldBlock : kFaceFailed;
  }
}

long SocketFaceStream::Write(const void* data, size_t len) {
  while (true) {
    // MSG_NOSIGNAL: a face gone away is a failed write, not a SIGPIPE.
    const ssize_t n = ::send(fd_, data, len, MSG_NOSIGNAL);
    if (n > 0) return static_cast<long>(n);
    if (n < 0 && errno == EINTR) continue;
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) ? kFaceWouldBlock : kFaceFailed;
  }
}

void SocketFaceStream::Shutdown() { ::shutdown(fd_, SHUT_WR); }

bool WriteAllToFace(FaceStream& stream, const void* data, size_t len, int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  const char* p = static_cast<const char*>(data);
  while (len > 0) {
    const long n = stream.Write(p, len);
    if (n > 0) {
      p += n;
      len -= static_cast<size_t>(n);
      continue;
    }
    if (n != kFaceWouldBlock) return false;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    pollfd pfd{stream.Fd(), POLLOUT, 0};
    if (left <= 0 || ::poll(&pfd, 1, static_cast<int>(left)) <= 0) return false;
  }
  return true;
}

}  // namespace tolvik
