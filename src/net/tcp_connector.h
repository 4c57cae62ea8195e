#pragma once
// Opens a TCP connection to the first of several addresses that answers,
// giving each a short time of its own, so one dead address (an IPv6 route
// that goes nowhere, a server that is down) does not keep the others from
// being tried. Not tied to any protocol spoken over the connection.
#include <atomic>
#include <cstdint>
#include <vector>

#include "net/connect_failure.h"
#include "net/server_address.h"

namespace tolvik {

struct ConnectOutcome {
  int fd = -1;             // a connected, blocking, close-on-exec socket; -1 on failure
  ConnectFailure failure;  // why not (the last address's reason)
};

// Tries `addresses` in order, each for at most `per_address_ms`. Setting
// `cancel` makes a wait in progress give up within 100 ms.
ConnectOutcome ConnectToAny(const std::vector<SocketAddress>& addresses, int per_address_ms,
                            const std::atomic<bool>& cancel);

// Resolves the server value (see ResolveServerAddresses) and connects.
ConnectOutcome ConnectToServer(const char* server, uint16_t default_port, int per_address_ms,
                               const std::atomic<bool>& cancel);

}  // namespace tolvik
