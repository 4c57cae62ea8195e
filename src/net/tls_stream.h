#pragma once
// TLS over a connected, non-blocking socket that the caller owns and polls.
// Not thread-safe: whoever shares one stream between threads serialises
// every call on it.
#include <openssl/types.h>

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace tolvik::api {

// Every wait below polls in slices of at most this long, so a cancel flag
// is seen within it.
inline constexpr int kCancelCheckMs = 100;

// What one read or write came to, beyond a count of bytes.
inline constexpr long kTlsWouldBlock = -1;  // nothing now; poll the socket and call again
inline constexpr long kTlsFailed = -2;      // the session is unusable

class TlsStream {
 public:
  ~TlsStream();
  TlsStream(const TlsStream&) = delete;
  TlsStream& operator=(const TlsStream&) = delete;

  // Client side: the peer's chain must verify against the system's trust
  // store (plus `ca_file` when not empty) and its certificate must name
  // `host`, which is also sent as SNI. Blocks for at most `timeout_ms`, and
  // gives up when `cancel` (if given) is set. On failure returns null and
  // says why in `error`.
  static std::unique_ptr<TlsStream> Connect(int fd, const std::string& host, const std::string& ca_file,
                                            int timeout_ms, std::string* error,
                                            const std::atomic<bool>* cancel = nullptr);
  // Server side, for loopback peers in tests and the demo gateway.
  static std::unique_ptr<TlsStream> Accept(int fd, const std::string& cert_file, const std::string& key_file,
                                           int timeout_ms, std::string* error);

  // Client side with the caller's own judgement of the peer's certificate
  // in place of the trust store (a pinned certificate, a private CA):
  // `check` gets the chain the peer showed and says whether to go on; when
  // it says no, the handshake fails with the reason it gave. Sends `host`
  // as SNI. Blocks for at most `timeout_ms`.
  using PeerCheck = std::function<bool(X509_STORE_CTX* chain, std::string* why)>;
  static std::unique_ptr<TlsStream> ConnectChecked(int fd, const std::string& host, PeerCheck check,
                                                   int timeout_ms, std::string* error);

  // Server side for a listener that accepts many peers without waiting on
  // any: a context made once from the certificate chain and key, and
  // streams that finish their handshake as they are first read or written
  // (Read and Write say kTlsWouldBlock until then). The context is shared
  // by reference count; free the caller's reference with SSL_CTX_free.
  // On these streams and those of ConnectChecked, Write takes what fits and
  // a write that would block may be retried from a buffer that has moved.
  static SSL_CTX* NewServerContext(const std::string& cert_file, const std::string& key_file, std::string* error);
  static std::unique_ptr<TlsStream> AcceptLater(int fd, SSL_CTX* ctx, std::string* error);
  // The last Read or Write that said kTlsWouldBlock waits for the socket to
  // become writable (rather than readable).
  bool WantsWrite() const { return wants_write_; }

  // Bytes read (> 0), 0 when the peer closed, or kTlsWouldBlock / kTlsFailed.
  long Read(void* buf, size_t len);
  // Bytes written (> 0), or kTlsWouldBlock / kTlsFailed.
  long Write(const void* data, size_t len);
  // Writes everything, waiting for the socket for at most `timeout_ms` in
  // all; a set `cancel` ends the wait too.
  bool WriteAll(const void* data, size_t len, int timeout_ms, const std::atomic<bool>* cancel = nullptr);
  // Decrypted bytes already held that a poll of the socket would not announce.
  bool HasBuffered() const;
  // Sends close_notify (best effort, no waiting).
  void Shutdown();
  int Fd() const { return fd_; }

 private:
  TlsStream(int fd, SSL_CTX* ctx, SSL* ssl) : fd_(fd), ctx_(ctx), ssl_(ssl) {}
  // A stream on `fd` owning `ctx` and a new session of it; null (with `what`
  // and OpenSSL's reason in `error`) when the session cannot be made.
  static std::unique_ptr<TlsStream> Attach(int fd, SSL_CTX* ctx, const char* what, std::string* error);
  // Drives SSL_connect or SSL_accept to the end.
  bool Handshake(bool client, int timeout_ms, std::string* error, const std::atomic<bool>* cancel);

  int fd_;
  SSL_CTX* ctx_;
  SSL* ssl_;
  bool wants_write_ = false;
  PeerCheck check_;
};

// The last OpenSSL error as text (empty when there is none); clears the queue.
std::string TakeTlsError();

// Waits until `fd` is ready for `events` (POLLIN / POLLOUT): true when it is;
// false when `timeout_ms` passed, `cancel` (if given) was set, or poll failed.
bool WaitForSocket(int fd, short events, int timeout_ms, const std::atomic<bool>* cancel);

}  // namespace tolvik::api
