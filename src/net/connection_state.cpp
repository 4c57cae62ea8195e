#include "net/connection_state.h"

namespace tolvik {

std::string StatusText(int state, const std::string& server) {
  switch (state) {
    case NotConnected: return "Not Connected: " + server;
    case Connected: return "Connected: " + server;
    case Connecting: return "(" + server + ") Connecting...";
    case WaitingForLoginPrompt: return "(" + server + ") Waiting For Login Prompt";
    case ConnectionFailed: return "(" + server + ") Connection Failed";
    case LoginFailed: return "(" + server + ") Login Failed";
    case ConnectionRefused: return "(" + server + ") Connection Refused!";
    case VerifyingNameAndPassword: return "(" + server + ") Verifying Name and Password";
    default: return "(" + server + ") ";
  }
}

}  // namespace tolvik
