#include "net/tls_stream.h"

#include "net/openssl.h"
#include <poll.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace tolvik::api {
namespace {

using Clock = std::chrono::steady_clock;

// Streams whose callers keep unsent bytes in a buffer of their own: Write
// takes what fits and reports it, and a write the socket could not take
// may be retried from wherever the caller's buffer has moved to.
constexpr long kFaceWriteModes = SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER;

int MillisLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Waits for what OpenSSL asked for; false when the time is up, the wait was
// cancelled or poll failed.
bool WaitFor(int fd, int ssl_error, Clock::time_point deadline, const std::atomic<bool>* cancel) {
  return WaitForSocket(fd, ssl_error == SSL_ERROR_WANT_WRITE ? POLLOUT : POLLIN, MillisLeft(deadline), cancel);
}

}  // namespace

bool WaitForSocket(int fd, short events, int timeout_ms, const std::atomic<bool>* cancel) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  pollfd p{fd, events, 0};
  while (true) {
    if (cancel != nullptr && cancel->load()) return false;
    int left = MillisLeft(deadline);
    if (left == 0) return false;
    int r = ::poll(&p, 1, std::min(left, kCancelCheckMs));
    if (r > 0) return true;
    if (r < 0 && errno != EINTR) return false;
  }
}

// The system's trust store as its hashed directory, read one authority at a
// time as a chain needs it, rather than as the bundle file, which would keep
// every authority (about 140) parsed in memory for as long as the connection
// lasts. A system without the directory, or a user who names a bundle in
// SSL_CERT_FILE, gets OpenSSL's own defaults.
static void UseSystemTrustStore(SSL_CTX* ctx) {
  const char* named_dir = std::getenv(X509_get_default_cert_dir_env());
  const char* dir = named_dir != nullptr ? named_dir : X509_get_default_cert_dir();
  struct stat st {};
  if (std::getenv(X509_get_default_cert_file_env()) == nullptr && ::stat(dir, &st) == 0 && S_ISDIR(st.st_mode) &&
      SSL_CTX_load_verify_dir(ctx, dir) == 1)
    return;
  SSL_CTX_set_default_verify_paths(ctx);
}

std::string TakeTlsError() {
  std::string text;
  unsigned long e;
  while ((e = ERR_get_error()) != 0) {
    char buf[256];
    ERR_error_string_n(e, buf, sizeof buf);
    if (!text.empty()) text += "; ";
    text += buf;
  }
  return text;
}

TlsStream::~TlsStream() {
  SSL_free(ssl_);
  SSL_CTX_free(ctx_);
}

// A client context that insists on TLS 1.2 or later and on a peer that
// proves itself; null with the reason in `error`.
static SSL_CTX* NewClientContext(std::string* error) {
  if (!openssl::Load(error)) return nullptr;
  ERR_clear_error();
  SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
  if (ctx == nullptr) {
    *error = "TLS setup failed: " + TakeTlsError();
    return nullptr;
  }
  SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
  SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
  return ctx;
}

std::unique_ptr<TlsStream> TlsStream::Attach(int fd, SSL_CTX* ctx, const char* what, std::string* error) {
  SSL* ssl = SSL_new(ctx);
  std::unique_ptr<TlsStream> stream(new TlsStream(fd, ctx, ssl));
  if (ssl == nullptr || SSL_set_fd(ssl, fd) != 1) {
    *error = what + TakeTlsError();
    return nullptr;
  }
  return stream;
}

std::unique_ptr<TlsStream> TlsStream::Connect(int fd, const std::string& host, const std::string& ca_file,
                                              int timeout_ms, std::string* error,
                                              const std::atomic<bool>* cancel) {
  SSL_CTX* ctx = NewClientContext(error);
  if (ctx == nullptr) return nullptr;
  // The system's trust store always counts; a configured file adds to it.
  UseSystemTrustStore(ctx);
  // Only a regular file is read: a FIFO or a device named here would keep
  // the connect waiting for good.
  if (!ca_file.empty()) {
    struct stat st {};
    if (::stat(ca_file.c_str(), &st) != 0) {
      *error = "Cannot read the CA file " + ca_file + ": " + std::strerror(errno);
      SSL_CTX_free(ctx);
      return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
      *error = "Cannot read the CA file " + ca_file + ": not a regular file";
      SSL_CTX_free(ctx);
      return nullptr;
    }
  }
  if (!ca_file.empty() && SSL_CTX_load_verify_locations(ctx, ca_file.c_str(), nullptr) != 1) {
    *error = "Cannot read the CA file " + ca_file + ": " + TakeTlsError();
    SSL_CTX_free(ctx);
    return nullptr;
  }
  std::unique_ptr<TlsStream> stream = Attach(fd, ctx, "TLS setup failed: ", error);
  if (!stream) return nullptr;
  SSL* ssl = stream->ssl_;
  SSL_set_tlsext_host_name(ssl, host.c_str());
  // An address is checked against the certificate's IP entries, a name against its DNS entries.
  X509_VERIFY_PARAM* param = SSL_get0_param(ssl);
  if (X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str()) != 1) {
    ERR_clear_error();
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    if (SSL_set1_host(ssl, host.c_str()) != 1) {
      *error = "TLS setup failed: " + TakeTlsError();
      return nullptr;
    }
  }
  if (!stream->Handshake(true, timeout_ms, error, cancel)) return nullptr;
  return stream;
}

std::unique_ptr<TlsStream> TlsStream::Accept(int fd, const std::string& cert_file, const std::string& key_file,
                                             int timeout_ms, std::string* error) {
  if (!openssl::Load(error)) return nullptr;
  ERR_clear_error();
  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  if (ctx == nullptr || SSL_CTX_use_certificate_chain_file(ctx, cert_file.c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(ctx, key_file.c_str(), SSL_FILETYPE_PEM) != 1) {
    *error = "TLS server setup failed: " + TakeTlsError();
    SSL_CTX_free(ctx);
    return nullptr;
  }
  std::unique_ptr<TlsStream> stream = Attach(fd, ctx, "TLS server setup failed: ", error);
  if (!stream) return nullptr;
  if (!stream->Handshake(false, timeout_ms, error, nullptr)) return nullptr;
  return stream;
}

std::unique_ptr<TlsStream> TlsStream::ConnectChecked(int fd, const std::string& host, PeerCheck check,
                                                     int timeout_ms, std::string* error) {
  SSL_CTX* ctx = NewClientContext(error);
  if (ctx == nullptr) return nullptr;
  SSL_CTX_set_mode(ctx, kFaceWriteModes);
  std::unique_ptr<TlsStream> stream = Attach(fd, ctx, "TLS setup failed: ", error);
  if (!stream) return nullptr;
  SSL* ssl = stream->ssl_;
  stream->check_ = std::move(check);
  std::string why;
  struct Judge {
    TlsStream* stream;
    std::string* why;
  } judge{stream.get(), &why};
  // The whole chain check is the caller's: OpenSSL asks this function instead
  // of its own verification, and a "no" ends the handshake.
  SSL_CTX_set_cert_verify_callback(
      ctx,
      [](X509_STORE_CTX* chain, void* arg) -> int {
        auto* j = static_cast<Judge*>(arg);
        if (j->stream->check_(chain, j->why)) return 1;
        X509_STORE_CTX_set_error(chain, X509_V_ERR_APPLICATION_VERIFICATION);
        return 0;
      },
      &judge);
  SSL_set_tlsext_host_name(ssl, host.c_str());
  const bool ok = stream->Handshake(true, timeout_ms, error, nullptr);
  SSL_CTX_set_cert_verify_callback(ctx, nullptr, nullptr);
  if (!ok) {
    if (!why.empty()) *error = why;
    return nullptr;
  }
  return stream;
}

SSL_CTX* TlsStream::NewServerContext(const std::string& cert_file, const std::string& key_file,
                                     std::string* error) {
  if (!openssl::Load(error)) return nullptr;
  ERR_clear_error();
  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  if (ctx == nullptr || SSL_CTX_use_certificate_chain_file(ctx, cert_file.c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(ctx, key_file.c_str(), SSL_FILETYPE_PEM) != 1 ||
      SSL_CTX_check_private_key(ctx) != 1) {
    *error = "TLS server setup failed: " + TakeTlsError();
    SSL_CTX_free(ctx);
    return nullptr;
  }
  SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
  SSL_CTX_set_mode(ctx, kFaceWriteModes);
  return ctx;
}

std::unique_ptr<TlsStream> TlsStream::AcceptLater(int fd, SSL_CTX* ctx, std::string* error) {
  ERR_clear_error();
  SSL* ssl = SSL_new(ctx);
  if (ssl == nullptr) {
    *error = "TLS server setup failed: " + TakeTlsError();
    return nullptr;
  }
  SSL_CTX_up_ref(ctx);
  std::unique_ptr<TlsStream> stream(new TlsStream(fd, ctx, ssl));
  if (SSL_set_fd(ssl, fd) != 1) {
    *error = "TLS server setup failed: " + TakeTlsError();
    return nullptr;
  }
  SSL_set_accept_state(ssl);
  return stream;
}

bool TlsStream::Handshake(bool client, int timeout_ms, std::string* error, const std::atomic<bool>* cancel) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (true) {
    // SSL_get_error() reads this thread's error queue: it must start empty,
    // whatever an earlier call on the same thread left there.
    ERR_clear_error();
    int r = client ? SSL_connect(ssl_) : SSL_accept(ssl_);
    if (r == 1) return true;
    int e = SSL_get_error(ssl_, r);
    if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) {
      if (WaitFor(fd_, e, deadline, cancel)) continue;
      *error = cancel != nullptr && cancel->load() ? "TLS handshake cancelled" : "TLS handshake timed out";
      return false;
    }
    long verify = SSL_get_verify_result(ssl_);
    if (client && verify != X509_V_OK) {
      *error = std::string("Certificate check failed: ") + X509_verify_cert_error_string(verify);
    } else {
      std::string detail = TakeTlsError();
      *error = "TLS handshake failed" + (detail.empty() ? std::string() : ": " + detail);
    }
    return false;
  }
}

long TlsStream::Read(void* buf, size_t len) {
  size_t got = 0;
  ERR_clear_error();
  int r = SSL_read_ex(ssl_, buf, len, &got);
  if (r == 1) return static_cast<long>(got);
  int e = SSL_get_error(ssl_, r);
  wants_write_ = e == SSL_ERROR_WANT_WRITE;
  if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) return kTlsWouldBlock;
  if (e == SSL_ERROR_ZERO_RETURN) return 0;
  // A peer that drops the TCP connection without close_notify has closed all the same.
  if (e == SSL_ERROR_SYSCALL || e == SSL_ERROR_SSL) {
    ERR_clear_error();
    return e == SSL_ERROR_SSL ? kTlsFailed : 0;
  }
  return kTlsFailed;
}

long TlsStream::Write(const void* data, size_t len) {
  size_t put = 0;
  ERR_clear_error();
  int r = SSL_write_ex(ssl_, data, len, &put);
  if (r == 1) return static_cast<long>(put);
  int e = SSL_get_error(ssl_, r);
  wants_write_ = e == SSL_ERROR_WANT_WRITE;
  if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) return kTlsWouldBlock;
  ERR_clear_error();
  return kTlsFailed;
}

bool TlsStream::WriteAll(const void* data, size_t len, int timeout_ms, const std::atomic<bool>* cancel) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  const auto* p = static_cast<const unsigned char*>(data);
  while (len > 0) {
    size_t put = 0;
    ERR_clear_error();
    int r = SSL_write_ex(ssl_, p, len, &put);
    if (r == 1) {
      p += put;
      len -= put;
      continue;
    }
    int e = SSL_get_error(ssl_, r);
    if ((e != SSL_ERROR_WANT_READ && e != SSL_ERROR_WANT_WRITE) || !WaitFor(fd_, e, deadline, cancel)) {
      ERR_clear_error();
      return false;
    }
  }
  return true;
}

bool TlsStream::HasBuffered() const { return SSL_pending(ssl_) > 0; }

void TlsStream::Shutdown() {
  SSL_shutdown(ssl_);
  ERR_clear_error();
}

}  // namespace tolvik::api
