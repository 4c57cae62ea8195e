#pragma once
// Server values that name the chat API ("wss://host[:port]/path") rather
// than a text gateway.
#include <cstdint>
#include <string>

namespace tolvik::api {

struct ApiUrl {
  std::string host;      // without brackets for an IPv6 address
  uint16_t port = 443;
  std::string path = "/";
  std::string HostHeader() const;  // host[:port] as the Host header wants it
};

// True when the value starts with "wss://" (any case).
bool IsApiServer(const char* server);
// Splits a wss:// value; false for anything malformed or not wss://.
bool ParseApiUrl(const char* server, ApiUrl* url);

}  // namespace tolvik::api
