#pragma once
// tolvik-cli --attach: a terminal face on the bot already running in a
// working directory. It shows what the bot's own terminal would (the
// channel's last lines, then every new one, in the same colours), sends
// what is typed, and lets the bot run on when it ends. When the bot goes
// away it says so and attaches again as soon as a bot listens there.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "cli/cli_options.h"
#include "face/face_stream.h"

namespace tolvik {

// A bot reached some other way than its local socket (over the network).
struct FaceRoute {
  // Opens a new stream to the bot; null with `error` set when it cannot.
  std::function<std::unique_ptr<FaceStream>(std::string* error)> connect;
  std::string host;                     // for the WebSocket's Host header
  std::optional<std::string> password;  // said in the hello
};

// Runs the face until Ctrl+D, //quit or a stop signal; the exit status.
// With a route the face attaches through it (the history stays in `dir`).
int RunFaceTerminal(const std::string& dir, ColourMode colour, const FaceRoute* route = nullptr);

// The text of //help in a face.
const char* FaceHelp();

}  // namespace tolvik
