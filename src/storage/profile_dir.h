#pragma once
// Where a bot keeps its files. A profile is a working directory under the
// user's data directory ($XDG_DATA_HOME/tolvik/NAME, by default
// ~/.local/share/tolvik/NAME), the same directories the tolvik-cli@NAME user
// service runs in; --dir names any directory instead.
#include <string>
#include <string_view>
#include <vector>

namespace tolvik {

inline constexpr char kDefaultProfile[] = "default";

// A profile name is one path component: 1 to 64 letters, digits, '-', '_'
// or '.', not starting with '.'.
bool IsValidProfileName(std::string_view name);

// $XDG_DATA_HOME/tolvik when XDG_DATA_HOME is an absolute path, otherwise
// $HOME/.local/share/tolvik; empty when neither can be known.
std::string ProfilesRoot();

// The profiles that exist (directories under ProfilesRoot()), sorted by name.
std::vector<std::string> ListProfiles();

struct WorkingDirectory {
  std::string path;     // absolute, without a trailing '/'; empty on error
  std::string profile;  // the profile's name; empty when the directory was named with --dir
  std::string error;    // why there is no directory, for the user
};

// The directory a program runs in: `dir` when it is not empty (it must exist),
// otherwise the directory of `profile` (kDefaultProfile when empty), created
// with its parents on first use (mode 0700: Bot.ini holds the password). A
// profile directory of the user's with wider modes is made 0700.
WorkingDirectory ResolveWorkingDirectory(const std::string& dir, const std::string& profile);

}  // namespace tolvik
