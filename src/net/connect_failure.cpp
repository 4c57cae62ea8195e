#include "net/connect_failure.h"

#include <cerrno>
#include <cstring>

namespace tolvik {

std::string ConnectFailure::Message() const {
  auto with_detail = [this](const char* what) { return detail.empty() ? std::string(what) : what + (": " + detail); };
  switch (kind) {
    case FailureKind::None: return "";
    case FailureKind::NameNotFound: return with_detail("Server name not found");
    case FailureKind::Refused: return "Connection refused";
    case FailureKind::TimedOut: return "Connection timed out";
    case FailureKind::NetworkUnreachable: return with_detail("Network unreachable");
    case FailureKind::LoginRefused: return with_detail("Login refused");
    case FailureKind::LoginTimedOut: return with_detail("Login timed out");
    case FailureKind::ServerClosed: return "The server closed the connection";
    case FailureKind::ConnectionLost: return with_detail("Connection lost");
    case FailureKind::Cancelled: return "Connection cancelled";
    case FailureKind::Other: return with_detail("Connection failed");
  }
  return "";
}

ConnectFailure ConnectFailure::FromErrno(int error) {
  switch (error) {
    case ECONNREFUSED: return {FailureKind::Refused, ""};
    case ETIMEDOUT: return {FailureKind::TimedOut, ""};
    case ENETUNREACH: return {FailureKind::NetworkUnreachable, ""};
    case EHOSTUNREACH:
    case EADDRNOTAVAIL: return {FailureKind::NetworkUnreachable, std::strerror(error)};
    case ECONNRESET:
    case EPIPE: return {FailureKind::ConnectionLost, std::strerror(error)};
    default: return {FailureKind::Other, std::strerror(error)};
  }
}

}  // namespace tolvik
