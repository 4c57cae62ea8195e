#pragma once
// Turns the configured server text into the socket addresses to try.
#include <sys/socket.h>

#include <cstdint>
#include <vector>

#include "net/connect_failure.h"

namespace tolvik {

struct SocketAddress {
  sockaddr_storage addr{};
  socklen_t len = 0;
};

// Accepted forms: "host", "host:port", "[IPv6]" and "[IPv6]:port"; without a
// port, `default_port` is used. A host made only of digits and dots (also the
// empty host) is taken as a dotted IPv4 address and never looked up by name;
// any other host name is resolved to all its addresses, IPv6 and IPv4, in the
// resolver's order. Fills `out` (never empty on success) or says why not.
ConnectFailure ResolveServerAddresses(const char* server, uint16_t default_port, std::vector<SocketAddress>* out);

// The first of those addresses; false when there is none.
bool ResolveServer(const char* server, uint16_t default_port, sockaddr_storage* addr, socklen_t* len);

}  // namespace tolvik
