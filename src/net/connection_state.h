#pragma once
// The connection state the document tracks, and the status text of each.
#include <string>

namespace tolvik {

enum ConnectionState : int {
  NotConnected = 0,
  Connecting = 1,
  WaitingForLoginPrompt = 2,
  ConnectionFailed = 3,
  LoginFailed = 4,
  Connected = 5,
  ConnectionRefused = 6,
  VerifyingNameAndPassword = 7,
};

// States in which a new connection may be started.
inline bool IsIdleState(int state) {
  return state == NotConnected || state == ConnectionFailed || state == LoginFailed || state == ConnectionRefused;
}

// The status bar text of a state, with the server as configured.
std::string StatusText(int state, const std::string& server);

}  // namespace tolvik
