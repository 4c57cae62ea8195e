#include "net/server_address.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <cstring>
#include <string>

namespace tolvik {
namespace {

bool ParsePort(const char* s, uint16_t* port) {
  if (*s == '\0') return false;
  unsigned long v = 0;
  for (; *s != '\0'; ++s) {
    if (*s < '0' || *s > '9') return false;
    v = v * 10 + static_cast<unsigned long>(*s - '0');
    if (v > 65535) return false;
  }
  if (v == 0) return false;
  *port = static_cast<uint16_t>(v);
  return true;
}

bool OnlyDigitsAndDots(const char* s) {
  for (; *s != '\0'; ++s)
    if ((*s < '0' || *s > '9') && *s != '.') return false;
  return true;
}

ConnectFailure NotAnAddress(const char* server) {
  return {FailureKind::NameNotFound, "\"" + std::string(server) + "\" is not a valid server address"};
}

}  // namespace

ConnectFailure ResolveServerAddresses(const char* server, uint16_t default_port, std::vector<SocketAddress>* out) {
  if (server == nullptr) server = "";
  out->clear();
  char host[256];
  uint16_t port = default_port;
  SocketAddress one;

  if (server[0] == '[') {
    const char* close = std::strchr(server, ']');
    if (close == nullptr) return NotAnAddress(server);
    size_t n = static_cast<size_t>(close - server - 1);
    if (n >= sizeof host) return NotAnAddress(server);
    std::memcpy(host, server + 1, n);
    host[n] = '\0';
    if (close[1] == ':' && !ParsePort(close + 2, &port)) return NotAnAddress(server);
    if (close[1] != '\0' && close[1] != ':') return NotAnAddress(server);
    auto* a6 = reinterpret_cast<sockaddr_in6*>(&one.addr);
    if (inet_pton(AF_INET6, host, &a6->sin6_addr) != 1) return NotAnAddress(server);
    a6->sin6_family = AF_INET6;
    a6->sin6_port = htons(port);
    one.len = sizeof *a6;
    out->push_back(one);
    return {};
  }

  size_t n = strnlen(server, sizeof host - 1);
  std::memcpy(host, server, n);
  host[n] = '\0';
  if (char* colon = std::strchr(host, ':')) {
    if (std::strchr(colon + 1, ':') != nullptr) return NotAnAddress(server);  // a bare IPv6 address needs brackets
    if (!ParsePort(colon + 1, &port)) return NotAnAddress(server);
    *colon = '\0';
  }

  if (OnlyDigitsAndDots(host)) {
    auto* a4 = reinterpret_cast<sockaddr_in*>(&one.addr);
    a4->sin_family = AF_INET;
    a4->sin_port = htons(port);
    one.len = sizeof *a4;
    if (inet_aton(host, &a4->sin_addr) == 0) return NotAnAddress(server);
    out->push_back(one);
    return {};
  }

  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  int rc = getaddrinfo(host, service.c_str(), &hints, &found);
  if (rc != 0) return {FailureKind::NameNotFound, gai_strerror(rc)};
  for (addrinfo* ai = found; ai != nullptr; ai = ai->ai_next) {
    if ((ai->ai_family != AF_INET && ai->ai_family != AF_INET6) || ai->ai_addrlen > sizeof one.addr) continue;
    SocketAddress a;
    std::memcpy(&a.addr, ai->ai_addr, ai->ai_addrlen);
    a.len = ai->ai_addrlen;
    out->push_back(a);
  }
  freeaddrinfo(found);
  if (out->empty()) return {FailureKind::NameNotFound, "no IPv4 or IPv6 address"};
  return {};
}

bool ResolveServer(const char* server, uint16_t default_port, sockaddr_storage* addr, socklen_t* len) {
  std::vector<SocketAddress> all;
  if (ResolveServerAddresses(server, default_port, &all).kind != FailureKind::None) return false;
  *addr = all.front().addr;
  *len = all.front().len;
  return true;
}

}  // namespace tolvik
