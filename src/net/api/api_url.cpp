#include "net/api/api_url.h"

#include <strings.h>

#include <cstring>

namespace tolvik::api {
namespace {

constexpr char kScheme[] = "wss://";
constexpr size_t kSchemeLen = sizeof kScheme - 1;

bool ParsePort(const std::string& s, uint16_t* port) {
  if (s.empty() || s.size() > 5) return false;
  unsigned long v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<unsigned long>(c - '0');
  }
  if (v == 0 || v > 65535) return false;
  *port = static_cast<uint16_t>(v);
  return true;
}

}  // namespace

std::string ApiUrl::HostHeader() const {
  std::string h = host.find(':') != std::string::npos ? "[" + host + "]" : host;
  if (port != 443) h += ":" + std::to_string(port);
  return h;
}

bool IsApiServer(const char* server) { return server != nullptr && strncasecmp(server, kScheme, kSchemeLen) == 0; }

bool ParseApiUrl(const char* server, ApiUrl* url) {
  if (!IsApiServer(server)) return false;
  std::string rest(server + kSchemeLen);
  size_t slash = rest.find('/');
  std::string authority = rest.substr(0, slash);
  url->path = slash == std::string::npos ? "/" : rest.substr(slash);
  for (char c : url->path)
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) return false;
  url->port = 443;
  if (!authority.empty() && authority[0] == '[') {
    size_t close = authority.find(']');
    if (close == std::string::npos) return false;
    url->host = authority.substr(1, close - 1);
    std::string after = authority.substr(close + 1);
    if (!after.empty() && (after[0] != ':' || !ParsePort(after.substr(1), &url->port))) return false;
  } else {
    size_t colon = authority.find(':');
    url->host = authority.substr(0, colon);
    if (colon != std::string::npos && !ParsePort(authority.substr(colon + 1), &url->port)) return false;
  }
  if (url->host.empty()) return false;
  for (char c : url->host)
    if (static_cast<unsigned char>(c) <= 0x20 || c == '/' || c == '@') return false;
  return true;
}

}  // namespace tolvik::api
