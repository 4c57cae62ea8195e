#include "settings/remote_settings.h"

#include "storage/private_profile.h"

namespace tolvik {

bool ParseListenAddress(const std::string& text, RemoteSettings* out) {
  std::string host, port;
  if (!text.empty() && text[0] == '[') {
    const size_t close = text.find(']');
    if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':') return false;
    host = text.substr(1, close - 1);
    port = text.substr(close + 2);
  } else {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos) return false;
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
    if (host.find(':') != std::string::npos) return false;  // IPv6 needs its brackets
  }
  if (host.empty() || port.empty() || port.size() > 5) return false;
  unsigned value = 0;
  for (char c : port) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value > 65535) return false;
  out->host = host;
  out->port = static_cast<uint16_t>(value);
  out->enabled = true;
  return true;
}

RemoteSettings LoadRemoteSettings(const std::string& botIni) {
  RemoteSettings s;
  std::string listen = PrivateProfile::ReadString("Remote", "Listen", "", 256, botIni);
  while (!listen.empty() && (listen.back() == ' ' || listen.back() == '\t' || listen.back() == '\r'))
    listen.pop_back();
  while (!listen.empty() && (listen.front() == ' ' || listen.front() == '\t')) listen.erase(0, 1);
  if (listen.empty()) return s;
  if (!ParseListenAddress(listen, &s)) {
    s = RemoteSettings{};
    s.error = "Bot.ini [Remote] Listen=" + listen +
              " is not host:port (an address of this machine and a port, 0 for any free one)";
  }
  return s;
}

}  // namespace tolvik
