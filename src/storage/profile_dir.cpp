#include "storage/profile_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace tolvik {
namespace fs = std::filesystem;

namespace {

// No trailing '/', so the path reads the same in titles and messages.
std::string Normalized(const fs::path& p) {
  fs::path n = p.lexically_normal();
  if (n.has_relative_path() && !n.has_filename()) n = n.parent_path();
  return n.string();
}

// mkdir -p with mode 0700 for every directory it makes.
bool MakeDirectories(const std::string& path, std::string& error) {
  std::string partial;
  size_t pos = 0;
  while (pos != std::string::npos) {
    pos = path.find('/', pos + 1);
    partial = path.substr(0, pos);
    if (partial.empty()) continue;
    if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
      error = "cannot create " + partial + ": " + std::strerror(errno);
      return false;
    }
  }
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    error = path + " is not a directory";
    return false;
  }
  return true;
}

}  // namespace

bool IsValidProfileName(std::string_view name) {
  if (name.empty() || name.size() > 64 || name.front() == '.') return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           c == '.';
  });
}

std::string ProfilesRoot() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data && data[0] == '/') return Normalized(fs::path(data) / "tolvik");
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return Normalized(fs::path(home) / ".local/share/tolvik");
  return {};
}

std::vector<std::string> ListProfiles() {
  std::vector<std::string> names;
  const std::string root = ProfilesRoot();
  if (root.empty()) return names;
  std::error_code ec;
  for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    std::error_code dir_ec;
    if (IsValidProfileName(name) && it->is_directory(dir_ec)) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

WorkingDirectory ResolveWorkingDirectory(const std::string& dir, const std::string& profile) {
  WorkingDirectory result;
  if (!dir.empty()) {
    std::error_code ec;
    fs::path work = fs::absolute(dir, ec);
    if (ec || !fs::is_directory(work, ec)) {
      result.error = "'" + dir + "' is not a directory";
      return result;
    }
    result.path = Normalized(work);
    return result;
  }
  const std::string name = profile.empty() ? kDefaultProfile : profile;
  if (!IsValidProfileName(name)) {
    result.error = "'" + name + "' is not a profile name (letters, digits, '-', '_' and '.')";
    return result;
  }
  const std::string root = ProfilesRoot();
  if (root.empty()) {
    result.error = "neither XDG_DATA_HOME nor HOME is set; name a directory with --dir";
    return result;
  }
  const std::string path = root + "/" + name;
  if (!MakeDirectories(path, result.error)) return result;
  // Made by hand or by an older version with wider modes: Bot.ini in it holds
  // the password, so the profile is its owner's alone from now on.
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && (st.st_mode & 077) != 0 && st.st_uid == ::geteuid() &&
      ::chmod(path.c_str(), 0700) != 0) {
    result.error = "cannot make " + path + " private: " + std::strerror(errno);
    return result;
  }
  result.path = path;
  result.profile = name;
  return result;
}

}  // namespace tolvik
