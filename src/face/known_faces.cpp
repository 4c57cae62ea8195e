#include "face/known_faces.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <system_error>

#include "storage/atomic_file.h"

namespace tolvik {
namespace {

// The two words of a pin line, or false for anything else.
bool SplitLine(const std::string& line, std::string* key, std::string* fingerprint) {
  std::istringstream words(line);
  std::string extra;
  if (!(words >> *key >> *fingerprint) || (words >> extra)) return false;
  return (*key)[0] != '#';
}

}  // namespace

std::string DefaultKnownFacesPath() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return std::string(config) + "/tolvik/known_faces";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return std::string(home) + "/.config/tolvik/known_faces";
  return std::string();
}

std::string FaceEndpointKey(const std::string& host, int port) {
  // Host names are case-blind: one bot, one pin.
  std::string name = host;
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const bool v6 = name.find(':') != std::string::npos;
  return (v6 ? "[" + name + "]" : name) + ":" + std::to_string(port);
}

KnownFaces::Match KnownFaces::Check(const std::string& key, const std::string& fingerprint,
                                    std::string* pinned) const {
  std::string text;
  if (!ReadWholeFile(path_, text)) return Match::Unknown;
  std::istringstream lines(text);
  std::string line, k, f;
  while (std::getline(lines, line)) {
    if (!SplitLine(line, &k, &f) || k != key) continue;
    if (f == fingerprint) return Match::Same;
    if (pinned != nullptr) *pinned = f;
    return Match::Changed;
  }
  return Match::Unknown;
}

bool KnownFaces::Pin(const std::string& key, const std::string& fingerprint, std::string* error) {
  std::string text, kept;
  ReadWholeFile(path_, text);
  std::istringstream lines(text);
  std::string line, k, f;
  while (std::getline(lines, line)) {
    if (SplitLine(line, &k, &f) && k == key) continue;
    kept += line + "\n";
  }
  kept += key + " " + fingerprint + "\n";
  std::error_code ec;
  const std::filesystem::path dir = std::filesystem::path(path_).parent_path();
  if (!dir.empty()) std::filesystem::create_directories(dir, ec);
  if (ec) {
    *error = "cannot make " + dir.string() + ": " + ec.message();
    return false;
  }
  if (!WriteFileAtomically(path_, kept, 0644)) {
    *error = "cannot write " + path_ + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace tolvik
