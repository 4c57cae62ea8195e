#pragma once
// Why a connection could not be made, or ended before it was any use. Shared
// by every transport: each maps its own errors onto these kinds.
#include <string>

namespace tolvik {

enum class FailureKind {
  None,
  NameNotFound,        // the resolver knows no address (its message in detail)
  Refused,             // nothing listens on the port
  TimedOut,            // no answer to the connect
  NetworkUnreachable,  // no route to the network or host
  LoginRefused,        // the server turned the login down (its words in detail)
  LoginTimedOut,       // connected, but the login never completed
  ServerClosed,        // the server ended the connection
  ConnectionLost,      // a read or write failed (the cause in detail)
  Cancelled,           // given up on purpose (disconnect, close)
  Other,               // any other error (its text in detail)
};

struct ConnectFailure {
  FailureKind kind = FailureKind::None;
  std::string detail;

  // One sentence for the chat display and the status text.
  std::string Message() const;
  bool operator==(const ConnectFailure&) const = default;

  // The kind of a socket error number (connect, SO_ERROR, recv, send).
  static ConnectFailure FromErrno(int error);
};

}  // namespace tolvik
