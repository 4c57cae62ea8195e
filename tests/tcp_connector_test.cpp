// Connecting to every address of a server in turn, on loopback: IPv6 and
// IPv4, a first address that never answers, refusals, names that do not
// resolve, and a cancel during a wait.
#include "net/tcp_connector.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

namespace tolvik {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A listening socket on a loopback address. With `backlog_full`, one client
// is left unaccepted in a queue of one, so the next client's connect is
// never answered (the address looks dead).
class Listener {
 public:
  Listener(int family, bool backlog_full = false) : family_(family) {
    fd_ = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    SocketAddress a = Loopback(0);
    EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&a.addr), a.len), 0);
    EXPECT_EQ(::listen(fd_, backlog_full ? 0 : 8), 0);
    sockaddr_storage bound{};
    socklen_t len = sizeof bound;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&bound), &len);
    port_ = ntohs(family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                     : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    if (backlog_full) {
      filler_ = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
      SocketAddress self = address();
      EXPECT_EQ(::connect(filler_, reinterpret_cast<sockaddr*>(&self.addr), self.len), 0);
    }
  }
  ~Listener() {
    if (filler_ >= 0) ::close(filler_);
    ::close(fd_);
  }
  uint16_t port() const { return port_; }
  SocketAddress address() const { return Loopback(port_); }

 private:
  SocketAddress Loopback(uint16_t port) const {
    SocketAddress a;
    if (family_ == AF_INET6) {
      auto* a6 = reinterpret_cast<sockaddr_in6*>(&a.addr);
      a6->sin6_family = AF_INET6;
      a6->sin6_addr = in6addr_loopback;
      a6->sin6_port = htons(port);
      a.len = sizeof *a6;
    } else {
      auto* a4 = reinterpret_cast<sockaddr_in*>(&a.addr);
      a4->sin_family = AF_INET;
      a4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      a4->sin_port = htons(port);
      a.len = sizeof *a4;
    }
    return a;
  }
  int family_;
  int fd_ = -1;
  int filler_ = -1;
  uint16_t port_ = 0;
};

uint16_t UnusedPort() {
  Listener l(AF_INET);
  return l.port();
}

int FamilyOf(int fd) {
  sockaddr_storage peer{};
  socklen_t len = sizeof peer;
  ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &len);
  return peer.ss_family;
}

const std::atomic<bool> kNoCancel{false};

TEST(TcpConnector, ReachesIpv6AndIpv4Loopback) {
  Listener v6(AF_INET6), v4(AF_INET);
  ConnectOutcome a = ConnectToServer(("[::1]:" + std::to_string(v6.port())).c_str(), 6112, 1000, kNoCancel);
  ASSERT_GE(a.fd, 0) << a.failure.Message();
  EXPECT_EQ(FamilyOf(a.fd), AF_INET6);
  ::close(a.fd);
  ConnectOutcome b = ConnectToServer(("127.0.0.1:" + std::to_string(v4.port())).c_str(), 6112, 1000, kNoCancel);
  ASSERT_GE(b.fd, 0) << b.failure.Message();
  EXPECT_EQ(FamilyOf(b.fd), AF_INET);
  ::close(b.fd);
  // A host name goes through the resolver and ends up at the same place.
  ConnectOutcome c = ConnectToServer(("localhost:" + std::to_string(v4.port())).c_str(), 6112, 1000, kNoCancel);
  ASSERT_GE(c.fd, 0) << c.failure.Message();
  ::close(c.fd);
}

// The first address never answers: it gets its short time, then the next
// one (here the only IPv6 one, as for a host with just an AAAA record) is used.
TEST(TcpConnector, DeadFirstAddressIsPassedOver) {
  Listener dead(AF_INET, true), v6(AF_INET6);
  const auto start = Clock::now();
  ConnectOutcome out = ConnectToAny({dead.address(), v6.address()}, 300, kNoCancel);
  const auto took = Clock::now() - start;
  ASSERT_GE(out.fd, 0) << out.failure.Message();
  EXPECT_EQ(FamilyOf(out.fd), AF_INET6);
  EXPECT_GE(took, 290ms);
  EXPECT_LT(took, 2s);
  ::close(out.fd);

  // Alone, the dead address is a timeout.
  ConnectOutcome alone = ConnectToAny({dead.address()}, 200, kNoCancel);
  EXPECT_EQ(alone.fd, -1);
  EXPECT_EQ(alone.failure.kind, FailureKind::TimedOut);
  EXPECT_EQ(alone.failure.Message(), "Connection timed out");
}

TEST(TcpConnector, EachFailureSaysWhy) {
  ConnectOutcome refused = ConnectToServer(("127.0.0.1:" + std::to_string(UnusedPort())).c_str(), 6112, 1000, kNoCancel);
  EXPECT_EQ(refused.fd, -1);
  EXPECT_EQ(refused.failure.kind, FailureKind::Refused);
  EXPECT_EQ(refused.failure.Message(), "Connection refused");

  // The resolver's own words are kept.
  ConnectOutcome unknown = ConnectToServer("no-such-host.invalid", 6112, 1000, kNoCancel);
  EXPECT_EQ(unknown.failure.kind, FailureKind::NameNotFound);
  EXPECT_FALSE(unknown.failure.detail.empty());
  EXPECT_EQ(unknown.failure.Message(), "Server name not found: " + unknown.failure.detail);

  ConnectOutcome bad = ConnectToServer("::1", 6112, 1000, kNoCancel);  // IPv6 needs brackets
  EXPECT_EQ(bad.failure.kind, FailureKind::NameNotFound);
  EXPECT_EQ(bad.failure.Message(), "Server name not found: \"::1\" is not a valid server address");

  EXPECT_EQ(ConnectFailure::FromErrno(ENETUNREACH).Message(), "Network unreachable");
  EXPECT_EQ(ConnectFailure::FromErrno(EHOSTUNREACH).kind, FailureKind::NetworkUnreachable);
}

TEST(TcpConnector, CancelEndsAWaitAtOnce) {
  Listener dead(AF_INET, true);
  std::atomic<bool> cancel{false};
  std::thread canceller([&] {
    std::this_thread::sleep_for(150ms);
    cancel = true;
  });
  const auto start = Clock::now();
  ConnectOutcome out = ConnectToAny({dead.address(), dead.address()}, 10000, cancel);
  canceller.join();
  EXPECT_EQ(out.fd, -1);
  EXPECT_EQ(out.failure.kind, FailureKind::Cancelled);
  EXPECT_LT(Clock::now() - start, 1s);
}

TEST(ServerAddress, HostNamesResolveToEveryAddress) {
  std::vector<SocketAddress> all;
  ASSERT_EQ(ResolveServerAddresses("localhost:7000", 6112, &all).kind, FailureKind::None);
  ASSERT_FALSE(all.empty());
  for (const SocketAddress& a : all) {
    EXPECT_TRUE(a.addr.ss_family == AF_INET || a.addr.ss_family == AF_INET6);
    const uint16_t port = a.addr.ss_family == AF_INET6
                              ? ntohs(reinterpret_cast<const sockaddr_in6*>(&a.addr)->sin6_port)
                              : ntohs(reinterpret_cast<const sockaddr_in*>(&a.addr)->sin_port);
    EXPECT_EQ(port, 7000);
  }
  ASSERT_EQ(ResolveServerAddresses("[::1]", 6112, &all).kind, FailureKind::None);
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].addr.ss_family, AF_INET6);
  EXPECT_EQ(ntohs(reinterpret_cast<const sockaddr_in6*>(&all[0].addr)->sin6_port), 6112);
}

}  // namespace
}  // namespace tolvik
