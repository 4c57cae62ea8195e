#include "settings/protection_settings.h"

#include <algorithm>
#include <climits>

#include "storage/private_profile.h"

namespace tolvik {
namespace {

constexpr char kSection[] = "Protection";

int32_t Clamp(int32_t value, int32_t low, int32_t high) { return std::min(std::max(value, low), high); }

}  // namespace

ProtectionSettings LoadProtectionSettings(const std::string& botIni) {
  ProtectionSettings s;
  s.present = !PrivateProfile::ReadSection(kSection, botIni).empty();
  if (!s.present) return s;
  auto read = [&](const char* key, int32_t def) { return PrivateProfile::ReadInt(kSection, key, def, botIni); };
  s.flood = read("Flood", 0) != 0;
  s.floodLines = Clamp(read("FloodLines", s.floodLines), 1, 100);
  s.floodSeconds = Clamp(read("FloodSeconds", s.floodSeconds), 1, 3600);
  s.repeat = read("Repeat", 0) != 0;
  s.repeatLines = Clamp(read("RepeatLines", s.repeatLines), 2, 100);
  s.rules = read("Rules", 0) != 0;
  s.protectedLevel = Clamp(read("ProtectedLevel", s.protectedLevel), 1, 10);
  s.banMinutes = Clamp(read("BanMinutes", s.banMinutes), 1, 525600);
  return s;
}

bool SaveProtectionSettings(const std::string& botIni, const ProtectionSettings& s) {
  auto write = [&](const char* key, int32_t value) {
    return PrivateProfile::WriteString(kSection, key, std::to_string(value), botIni);
  };
  return write("Flood", s.flood) && write("FloodLines", s.floodLines) && write("FloodSeconds", s.floodSeconds) &&
         write("Repeat", s.repeat) && write("RepeatLines", s.repeatLines) && write("Rules", s.rules) &&
         write("ProtectedLevel", s.protectedLevel) && write("BanMinutes", s.banMinutes);
}

int32_t CommandLevelWithFallback(const std::string& botIni, const char* key, const char* fallback) {
  const int32_t level = PrivateProfile::ReadInt("Commands", key, INT32_MIN, botIni);
  if (level != INT32_MIN) return level;
  const int32_t other = PrivateProfile::ReadInt("Commands", fallback, INT32_MIN, botIni);
  return other != INT32_MIN ? other : 9;
}

}  // namespace tolvik
