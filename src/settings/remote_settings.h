#pragma once
// Bot.ini [Remote]: whether the bot also listens for faces over the
// network. Off unless Listen is set.
//
//   [Remote]
//   Listen=127.0.0.1:7000     an address of this machine and a port; port 0
//                             picks a free one. [IPv6]:port for IPv6.
#include <cstdint>
#include <string>

namespace tolvik {

struct RemoteSettings {
  bool enabled = false;  // Listen is set and well formed
  std::string host;      // without brackets
  uint16_t port = 0;     // 0: any free port
  std::string error;     // set when Listen is present but not host:port
};

RemoteSettings LoadRemoteSettings(const std::string& botIni);

// Reads "host:port" or "[IPv6]:port" into `out` (enabled on success).
bool ParseListenAddress(const std::string& text, RemoteSettings* out);

}  // namespace tolvik
