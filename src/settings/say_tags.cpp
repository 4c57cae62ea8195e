#include "settings/say_tags.h"

#include <strings.h>

#include <algorithm>
#include <cstdlib>

#include "settings/config.h"
#include "storage/profile_file.h"

namespace tolvik {
namespace {

constexpr char kMessages[] = "Messages";
constexpr size_t kKeyListBuffer = 2047;
constexpr size_t kTagBuffer = 255;

}  // namespace

int HighestSayLevel(const std::string& botIni) {
  int highest = 0;
  for (const std::string& key : ProfileFile::KeyNames(kMessages, botIni, kKeyListBuffer)) {
    if (key.size() < 3 || strncasecmp(key.c_str(), "say", 3) != 0) continue;
    highest = std::max(highest, std::atoi(key.c_str() + 3));
  }
  return highest;
}

std::string ReadSayTag(const std::string& botIni, int level) {
  std::string tag;
  ProfileFile::Read(kMessages, "Say" + std::to_string(level), "", tag, kTagBuffer, botIni);
  return IsUnset(tag) ? std::string() : ProfileFile::Unescape(tag, ProfileFile::kWriteEscapes);
}

bool WriteSayTag(const std::string& botIni, const std::string& level, const std::string& tag) {
  return ProfileFile::Write(kMessages, "say" + level, tag, botIni);
}

}  // namespace tolvik
