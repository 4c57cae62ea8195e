#pragma once
// tolvik-cli --attach: a terminal face on the bot already running in a
// working directory. It shows what the bot's own terminal would (the
// channel's last lines, then every new one, in the same colours), sends
// what is typed, and lets the bot run on when it ends. When the bot goes
// away it says so and attaches again as soon as a bot listens there.
#include <string>

#include "cli/cli_options.h"

namespace tolvik {

// Runs the face until Ctrl+D, //quit or a stop signal; the exit status.
int RunFaceTerminal(const std::string& dir, ColourMode colour);

// The text of //help in a face.
const char* FaceHelp();

}  // namespace tolvik
