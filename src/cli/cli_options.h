#pragma once
// The terminal program's command line: getopt_long over argv.
#include <string>

namespace tolvik {

enum class ColourMode { Auto, Always, Never };

struct CliOptions {
  enum class Action { Run, Help, Version, Error };
  Action action = Action::Run;
  std::string dir;      // --dir: any directory; wins over --profile
  std::string profile;  // --profile: a profile under the user's data directory
  ColourMode colour = ColourMode::Auto;
  bool attach = false;     // --attach: a face on the bot already running there
  std::string attach_to;   // --attach=HOST:PORT: a bot elsewhere
  std::string error;    // what was wrong, when action is Error
};

// Reads the options of `argv`. Stray operands and unknown options are errors;
// the program then prints the usage to standard error and ends with status 2.
CliOptions ParseCliOptions(int argc, char** argv);

// The text of --help.
const char* CliUsage();

}  // namespace tolvik
