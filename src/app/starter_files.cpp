#include "app/starter_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <span>

#include "storage/atomic_file.h"
#include "storage/ini_text.h"
#include "storage/private_profile.h"
#include "bot/users_file.h"

namespace tolvik {
namespace {

struct SchemeEntry {
  TextType type;
  uint32_t colour;  // 0x00BBGGRR
};

// Hues spread round the wheel, all light enough for a black background.
constexpr std::array<SchemeEntry, kTextTypeCount> kScheme = {{
    {TextType::MyText, 0x0080FF80},       // light green
    {TextType::OthersText, 0x00E6E6E6},   // near white
    {TextType::Emotes, 0x00FFA0D7},       // lavender
    {TextType::Joins, 0x005FAF5F},        // dim green
    {TextType::Parts, 0x005F87AF},        // dim tan
    {TextType::Whispers, 0x0066FFFF},     // yellow
    {TextType::BnetInfo, 0x00658AFF},     // coral: the server's notices and errors
    {TextType::BotInfo, 0x00D7D75F},      // teal
    {TextType::Highlighted, 0x00C080FF},  // pink, bold
    {TextType::URLs, 0x00FF9F6A},         // blue, underlined
}};

// What each command needs on a new profile. Commands that only inform are
// open to every listed user; making the bot speak, kick, ban, edit the access
// list or move it take rising levels; handing over the channel and the bot's
// own switches are the owner's (9). "Level" and "Resign" follow the keys that
// really govern them ("Stats" and "Rejoin"), so the Access page shows the
// level the bot applies. "Password" has no key: it only ever acts for
// unlisted users.
struct StarterLevel {
  const char* key;
  int level;
};
constexpr std::array<StarterLevel, 32> kStarterCommandLevels = {{
    {"Help", 1},      {"Stats", 1},         {"Level", 1},   {"Lookup", 1},    {"Who", 1},       {"List", 1},
    {"Buddy", 1},     {"IP", 1},            {"Say", 5},     {"Me", 5},        {"MeTagged", 5},  {"Whisper", 5},
    {"WhisperTagged", 5}, {"Page", 5},      {"Forward", 5}, {"Away", 5},      {"Kick", 6},      {"KickTagged", 6},
    {"AutoKick", 6},  {"Ban", 7},           {"BanTagged", 7}, {"Unban", 7},   {"AutoBan", 7},   {"Add", 8},
    {"Del", 8},       {"Promote", 8},       {"Demote", 8},  {"Join", 8},      {"Rejoin", 8},    {"Resign", 8},
    {"Designate", 9}, {"MakeOp", 9},
}};

}  // namespace

int StarterCommandLevel(std::string_view key) {
  for (const StarterLevel& entry : kStarterCommandLevels)
    if (ini::EqualsIgnoreCase(key, entry.key)) return entry.level;
  return -1;
}

std::string StarterUsersList() {
  std::string text;
  for (int level = 1; level <= 9; ++level) {
    if (level > 1) text += "\r\n";
    text += MakeLevelHeader(level) + "\r\n";
  }
  return text;
}

TextFormats StarterTextFormats() {
  TextFormats formats = DefaultTextFormats();
  for (const SchemeEntry& entry : kScheme) {
    TextFormat& format = formats[TextTypeIndex(entry.type)];
    format.colour = entry.colour;
    if (entry.type == TextType::Highlighted) {
      format.mask |= kCfmBold;
      format.effects |= kCfeBold;
    }
  }
  return formats;
}

std::string StarterBotIni() {
  const TextFormats formats = StarterTextFormats();
  std::string text = "[Fonts]\r\n";
  for (int i = 0; i < kTextTypeCount; ++i) {
    const TextType type = TextTypeAt(i);
    std::array<uint8_t, kTextFormat2Size> bytes{};
    std::span<uint8_t> record(bytes.data(), StoredSize(type));
    EncodeTextFormat(formats[i], record);
    text += std::string(TextTypeKey(type)) + "=" + PrivateProfile::EncodeStruct(record) + "\r\n";
  }
  text += "\r\n[Commands]\r\n";
  for (const StarterLevel& entry : kStarterCommandLevels)
    text += std::string(entry.key) + "=" + std::to_string(entry.level) + "\r\n";
  // A new bot keeps a month of daily chat logs.
  text += "\r\n[Logging]\r\nDailyLogs=1\r\nKeepDays=30\r\n";
  // A new profile guards against flooding and repeats from the start.
  text += "\r\n[Protection]\r\nFlood=1\r\nRepeat=1\r\nRules=1\r\n";
  return text;
}

bool CreateFileIfMissing(const std::string& path, std::string_view bytes, unsigned mode) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) return false;
  ForgetReadFiles();
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  if (done < bytes.size() && ::ftruncate(fd, 0) != 0) {
    // Nothing more to do: a reader stops at the half line and takes the defaults.
  }
  ::close(fd);
  return true;
}

}  // namespace tolvik
