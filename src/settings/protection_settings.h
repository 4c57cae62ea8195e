#pragma once
// Bot.ini [Protection]: what the bot does on its own against flooders,
// repeaters and the rules of protect.lst, and the levels of the commands
// that go with it.
#include <cstdint>
#include <string>

namespace tolvik {

struct ProtectionSettings {
  // Whether Bot.ini has a [Protection] section at all (a profile from before
  // the protection has none; everything is then off).
  bool present = false;
  bool flood = false;         // Flood: more than FloodLines lines in FloodSeconds seconds
  int32_t floodLines = 5;     // FloodLines
  int32_t floodSeconds = 6;   // FloodSeconds
  bool repeat = false;        // Repeat: the same line RepeatLines times in a row within a minute
  int32_t repeatLines = 3;    // RepeatLines
  bool rules = false;         // Rules: the rules of protect.lst
  int32_t protectedLevel = 1; // ProtectedLevel: users at this level and above are never acted on
  int32_t banMinutes = 60;    // BanMinutes: the timed ban of a user kicked earlier who does it again
};

// Missing keys take the defaults above; out-of-range numbers are brought back
// to the nearest sensible value.
ProtectionSettings LoadProtectionSettings(const std::string& botIni);
// Writes every key of the section (creating it). False when Bot.ini cannot be written.
bool SaveProtectionSettings(const std::string& botIni, const ProtectionSettings& settings);

// [Commands] keys with a fallback: the level of `key`, or when it is missing
// the level of `fallback` when that one is set, otherwise 9.
int32_t CommandLevelWithFallback(const std::string& botIni, const char* key, const char* fallback);

}  // namespace tolvik
