#pragma once
// The terminal program's command line: getopt_long over argv.
#include <string>

namespace tolvik {

enum class ColourMode { Auto, Always, Never };

struct CliOptions {
  enum class Action { Run, Help, Version, Error, SetFacePassword };
  Action action = Action::Run;
  std::string dir;      // --dir: any directory; wins over --profile
  std::string profile;  // --profile: a profile under the user's data directory
  ColourMode colour = ColourMode::Auto;
  // Faces: --attach attaches to a running bot instead of running one; with
  // HOST:PORT, over the network (attach_to), else to the local bot of --dir/--profile.
  bool attach = false;
  std::string attach_to;
  std::string face_password_file;  // --face-password-file: the face password's first line
  std::string face_ca;             // --face-ca: a CA whose bot certificates are taken
  std::string error;    // what was wrong, when action is Error
};

// Reads the options of `argv`. Stray operands and unknown options are errors;
// the program then prints the usage to standard error and ends with status 2.
CliOptions ParseCliOptions(int argc, char** argv);

// The text of --help.
const char* CliUsage();

}  // namespace tolvik
