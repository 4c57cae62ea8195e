// The TLS layer's own refusals, before any byte goes to the server, and a
// handshake with a peer that never answers, given up on cancel.
#include "net/tls_stream.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>

#include "support/temp_dir.h"

namespace tolvik::api {
namespace {

using tolvik::testing::TempDir;

// A CA file that is a FIFO (or a directory) would block the read, or fail
// in a way that says nothing: it is refused by name, at once.
TEST(TlsStream, ACaPathThatIsNotARegularFileIsRefusedAtOnce) {
  TempDir dir;
  const std::string fifo = dir.file("ca.pem");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {fifo, dir.path().string()}) {
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    std::string error;
    EXPECT_EQ(TlsStream::Connect(fds[0], "127.0.0.1", path, 30000, &error), nullptr);
    EXPECT_EQ(error, "Cannot read the CA file " + path + ": not a regular file");
    ::close(fds[0]);
    ::close(fds[1]);
  }
  int fds[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
  std::string error;
  EXPECT_EQ(TlsStream::Connect(fds[0], "127.0.0.1", dir.file("missing.pem"), 30000, &error), nullptr);
  EXPECT_EQ(error, "Cannot read the CA file " + dir.file("missing.pem") + ": No such file or directory");
  ::close(fds[0]);
  ::close(fds[1]);
}

// The peer takes the client's hello and never answers: the handshake's own
// limit is far off, but setting the cancel flag ends the wait.
TEST(TlsStream, AHandshakeWithASilentPeerEndsOnCancel) {
  using namespace std::chrono_literals;
  int fds[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds), 0);
  std::atomic<bool> cancel{false};
  std::string error;
  auto connect = std::async(std::launch::async, [&] {
    return TlsStream::Connect(fds[0], "127.0.0.1", "", 600000, &error, &cancel) != nullptr;
  });
  pollfd hello{fds[1], POLLIN, 0};
  EXPECT_EQ(::poll(&hello, 1, 30000), 1);  // the client now waits for an answer
  cancel = true;
  ASSERT_EQ(connect.wait_for(30s), std::future_status::ready);
  EXPECT_FALSE(connect.get());
  EXPECT_EQ(error, "TLS handshake cancelled");
  ::close(fds[0]);
  ::close(fds[1]);
}

}  // namespace
}  // namespace tolvik::api
