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

// Where the face attaches, and how.
struct FaceTarget {
  // Opens a new stream to the bot (null, with `error` set, when it cannot).
  std::function<std::unique_ptr<FaceStream>(std::string* error)> connect;
  std::string host;                     // the Host header of the upgrade
  std::optional<std::string> password;  // the face password, for a bot that wants one
  std::string history_path;             // the input line's history file
};

// The bot running in the working directory `dir`, over its local socket.
FaceTarget LocalFaceTarget(const std::string& dir);

// Runs the face until Ctrl+D, //quit or a stop signal; the exit status.
int RunFaceTerminal(const FaceTarget& target, ColourMode colour);

// The text of //help in a face.
const char* FaceHelp();

}  // namespace tolvik
