#include "face/face_tls_listener.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include "net/openssl.h"

#include <cerrno>
#include <csignal>
#include <cstring>

#include "face/known_faces.h"
#include "face/tls_face_stream.h"
#include "net/tls_stream.h"

namespace tolvik {
namespace {

// "address:port" of a socket address, IPv6 in brackets.
std::string Describe(const sockaddr_storage& addr) {
  char host[INET6_ADDRSTRLEN] = "?";
  int port = 0;
  if (addr.ss_family == AF_INET) {
    const auto* a = reinterpret_cast<const sockaddr_in*>(&addr);
    ::inet_ntop(AF_INET, &a->sin_addr, host, sizeof host);
    port = ntohs(a->sin_port);
  } else if (addr.ss_family == AF_INET6) {
    const auto* a = reinterpret_cast<const sockaddr_in6*>(&addr);
    ::inet_ntop(AF_INET6, &a->sin6_addr, host, sizeof host);
    port = ntohs(a->sin6_port);
  }
  return FaceEndpointKey(host, port);
}

}  // namespace

std::string PeerAddress(const std::string& peer) {
  const size_t colon = peer.rfind(':');
  std::string address = colon == std::string::npos ? peer : peer.substr(0, colon);
  if (address.size() >= 2 && address.front() == '[' && address.back() == ']')
    address = address.substr(1, address.size() - 2);
  return address;
}

std::string ThrottleKey(const std::string& address) {
  in6_addr v6{};
  if (::inet_pton(AF_INET6, address.c_str(), &v6) != 1) return address;
  char text[INET6_ADDRSTRLEN];
  if (IN6_IS_ADDR_V4MAPPED(&v6)) {
    ::inet_ntop(AF_INET, &v6.s6_addr[12], text, sizeof text);
    return text;
  }
  std::memset(&v6.s6_addr[8], 0, 8);
  ::inet_ntop(AF_INET6, &v6, text, sizeof text);
  return std::string(text) + "/64";
}

std::unique_ptr<FaceTlsListener> FaceTlsListener::Open(const std::string& profile_dir, const std::string& host,
                                                       uint16_t port,
                                                       std::unique_ptr<FaceAuthenticator> authenticator,
                                                       std::string* error) {
  // OpenSSL writes to the socket with write(2): a face gone away must be a
  // failed write, not a SIGPIPE that ends the bot. Both programs ignore it
  // anyway; the hub's thread may write before they get to it.
  ::signal(SIGPIPE, SIG_IGN);
  std::unique_ptr<FaceTlsListener> listener(new FaceTlsListener());
  listener->authenticator_ = std::move(authenticator);
  if (!EnsureFaceCertificate(profile_dir, &listener->certificate_, error)) return nullptr;
  listener->ctx_ = api::TlsStream::NewServerContext(listener->certificate_.cert_file,
                                                    listener->certificate_.key_file, error);
  if (listener->ctx_ == nullptr) return nullptr;

  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  const int gai = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
  if (gai != 0 || found == nullptr) {
    *error = "cannot listen on " + FaceEndpointKey(host, port) + ": " + ::gai_strerror(gai);
    return nullptr;
  }
  const int fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  const int one = 1;
  if (fd >= 0) ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  const bool ok = fd >= 0 && ::bind(fd, found->ai_addr, found->ai_addrlen) == 0 && ::listen(fd, 16) == 0;
  const int saved = errno;
  ::freeaddrinfo(found);
  if (!ok) {
    if (fd >= 0) ::close(fd);
    *error = "cannot listen on " + FaceEndpointKey(host, port) + ": " + std::strerror(saved);
    return nullptr;
  }
  listener->fd_ = fd;
  sockaddr_storage bound{};
  socklen_t len = sizeof bound;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &len);
  listener->port_ = bound.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port)
                                                : ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
  listener->host_ = host;
  return listener;
}

FaceTlsListener::~FaceTlsListener() {
  if (fd_ >= 0) ::close(fd_);
  SSL_CTX_free(ctx_);
}

std::string FaceTlsListener::Where() const { return FaceEndpointKey(host_, port_); }

FaceArrival FaceTlsListener::Accept(std::string* refusal) {
  FaceArrival arrival;
  sockaddr_storage peer{};
  socklen_t len = sizeof peer;
  const int fd = ::accept4(fd_, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) return arrival;  // nobody after all (EAGAIN), or gone again
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  arrival.peer = Describe(peer);
  std::string error;
  auto tls = api::TlsStream::AcceptLater(fd, ctx_, &error);
  if (!tls) {
    ::close(fd);
    *refusal = error;
    return arrival;
  }
  arrival.stream = std::make_unique<TlsFaceStream>(fd, std::move(tls));
  return arrival;
}

}  // namespace tolvik
