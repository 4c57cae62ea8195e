#include "net/tcp_connector.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace tolvik {
namespace {

// One address: a non-blocking connect whose wait is cut into slices so a
// cancel is noticed; the socket is made blocking again once connected.
ConnectOutcome ConnectOne(const SocketAddress& a, int timeout_ms, const std::atomic<bool>& cancel) {
  int fd = ::socket(a.addr.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP);
  if (fd < 0) return {-1, ConnectFailure::FromErrno(errno)};
  auto fail = [fd](ConnectFailure why) {
    ::close(fd);  // a failed attempt's socket is never reused
    return ConnectOutcome{-1, std::move(why)};
  };
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&a.addr), a.len) != 0 && errno != EINPROGRESS &&
      errno != EINTR)
    return fail(ConnectFailure::FromErrno(errno));

  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (cancel) return fail({FailureKind::Cancelled, ""});
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return fail({FailureKind::TimedOut, ""});
    pollfd p{fd, POLLOUT, 0};
    int ready = ::poll(&p, 1, static_cast<int>(left < 100 ? left : 100));
    if (ready < 0 && errno != EINTR) return fail(ConnectFailure::FromErrno(errno));
    if (ready <= 0) continue;
    int error = 0;
    socklen_t error_len = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &error_len) != 0) return fail(ConnectFailure::FromErrno(errno));
    if (error != 0) return fail(ConnectFailure::FromErrno(error));
    break;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL, 0) & ~O_NONBLOCK);
  return {fd, {}};
}

}  // namespace

ConnectOutcome ConnectToAny(const std::vector<SocketAddress>& addresses, int per_address_ms,
                            const std::atomic<bool>& cancel) {
  ConnectOutcome last{-1, {FailureKind::NameNotFound, "no address"}};
  for (const SocketAddress& a : addresses) {
    last = ConnectOne(a, per_address_ms, cancel);
    if (last.fd >= 0 || last.failure.kind == FailureKind::Cancelled) break;
  }
  return last;
}

ConnectOutcome ConnectToServer(const char* server, uint16_t default_port, int per_address_ms,
                               const std::atomic<bool>& cancel) {
  std::vector<SocketAddress> addresses;
  ConnectFailure resolved = ResolveServerAddresses(server, default_port, &addresses);
  if (resolved.kind != FailureKind::None) return {-1, resolved};
  return ConnectToAny(addresses, per_address_ms, cancel);
}

}  // namespace tolvik
