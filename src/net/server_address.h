#pragma once
// Turns the configured server text into a socket address.
#include <sys/socket.h>

#include <cstdint>

namespace tolvik {

// Accepted forms: "host", "host:port", "[IPv6]" and "[IPv6]:port"; without a
// port, `default_port` is used. A host made only of digits and dots (also the
// empty host) is taken as a dotted IPv4 address and never looked up by name;
// any other host name is resolved to its first IPv4 address.
bool ResolveServer(const char* server, uint16_t default_port, sockaddr_storage* addr, socklen_t* len);

}  // namespace tolvik
