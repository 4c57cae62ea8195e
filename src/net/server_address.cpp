#include "net/server_address.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <cstring>

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

}  // namespace

bool ResolveServer(const char* server, uint16_t default_port, sockaddr_storage* addr, socklen_t* len) {
  if (server == nullptr) server = "";
  char host[256];
  uint16_t port = default_port;
  std::memset(addr, 0, sizeof *addr);

  if (server[0] == '[') {
    const char* close = std::strchr(server, ']');
    if (close == nullptr) return false;
    size_t n = static_cast<size_t>(close - server - 1);
    if (n >= sizeof host) return false;
    std::memcpy(host, server + 1, n);
    host[n] = '\0';
    if (close[1] == ':' && !ParsePort(close + 2, &port)) return false;
    if (close[1] != '\0' && close[1] != ':') return false;
    auto* a6 = reinterpret_cast<sockaddr_in6*>(addr);
    if (inet_pton(AF_INET6, host, &a6->sin6_addr) != 1) return false;
    a6->sin6_family = AF_INET6;
    a6->sin6_port = htons(port);
    *len = sizeof *a6;
    return true;
  }

  size_t n = strnlen(server, sizeof host - 1);
  std::memcpy(host, server, n);
  host[n] = '\0';
  if (char* colon = std::strchr(host, ':')) {
    if (std::strchr(colon + 1, ':') != nullptr) return false;  // a bare IPv6 address needs brackets
    if (!ParsePort(colon + 1, &port)) return false;
    *colon = '\0';
  }

  auto* a4 = reinterpret_cast<sockaddr_in*>(addr);
  a4->sin_family = AF_INET;
  a4->sin_port = htons(port);
  *len = sizeof *a4;
  if (OnlyDigitsAndDots(host)) return inet_aton(host, &a4->sin_addr) != 0;

  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host, nullptr, &hints, &found) != 0 || found == nullptr) return false;
  a4->sin_addr = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
  freeaddrinfo(found);
  return true;
}

}  // namespace tolvik
