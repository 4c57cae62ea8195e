// The TLS layer's own refusals, before any byte goes to the server, and a
// handshake with a peer that never answers, given up on cancel.
#include "net/tls_stream.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <chrono>
#include <future>
#include <string>

#include "support/test_ca.h"
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

namespace tolvik::api {
namespace {

using tolvik::testing::TempDir;

// The system's trust store is its hashed directory (SSL_CERT_DIR names
// another): an authority linked there by its subject hash is trusted with no
// CA file; a named bundle (SSL_CERT_FILE) is still read as OpenSSL reads it.
TEST(TlsStream, TheSystemTrustStoreIsReadFromItsHashedDirectoryUnlessABundleIsNamed) {
  signal(SIGPIPE, SIG_IGN);  // a refused handshake closes its end first, as the programs do
  const tolvik::testing::TestCa& ca = tolvik::testing::GetTestCa();
  TempDir store;
  FILE* hash = popen(("openssl x509 -hash -noout -in " + ca.ca_file).c_str(), "r");
  ASSERT_NE(hash, nullptr);
  char name[64] = {};
  ASSERT_NE(fgets(name, sizeof name, hash), nullptr);
  pclose(hash);
  std::string link = store.file(std::string(name, strcspn(name, "\n")) + ".0");
  ASSERT_EQ(symlink(ca.ca_file.c_str(), link.c_str()), 0);

  auto handshake = [&](const char* cert_dir, const char* cert_file) {
    const char* saved_dir = getenv("SSL_CERT_DIR");
    const char* saved_file = getenv("SSL_CERT_FILE");
    const std::string old_dir = saved_dir ? saved_dir : "", old_file = saved_file ? saved_file : "";
    setenv("SSL_CERT_DIR", cert_dir, 1);
    if (cert_file) setenv("SSL_CERT_FILE", cert_file, 1); else unsetenv("SSL_CERT_FILE");
    int fds[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    auto server = std::async(std::launch::async, [&] {
      std::string error;
      return TlsStream::Accept(fds[1], ca.cert_file, ca.key_file, 30000, &error) != nullptr;
    });
    std::string error;
    const bool ok = TlsStream::Connect(fds[0], "127.0.0.1", "", 30000, &error) != nullptr;
    server.wait();
    close(fds[0]);
    close(fds[1]);
    if (saved_dir) setenv("SSL_CERT_DIR", old_dir.c_str(), 1); else unsetenv("SSL_CERT_DIR");
    if (saved_file) setenv("SSL_CERT_FILE", old_file.c_str(), 1); else unsetenv("SSL_CERT_FILE");
    return ok;
  };
  EXPECT_TRUE(handshake(store.path().c_str(), nullptr));
  EXPECT_FALSE(handshake(TempDir().path().c_str(), nullptr));  // an empty store trusts nobody
  // A named bundle counts too, as OpenSSL's defaults have it.
  EXPECT_TRUE(handshake(TempDir().path().c_str(), ca.ca_file.c_str()));
}

}  // namespace
}  // namespace tolvik::api
