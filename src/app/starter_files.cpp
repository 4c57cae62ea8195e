#include "app/starter_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <span>

#include "app/private_profile.h"
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

}  // namespace

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
  // A new bot keeps a month of daily chat logs.
  text += "[Logging]\r\nDailyLogs=1\r\nKeepDays=30\r\n";
  return text;
}

bool CreateFileIfMissing(const std::string& path, std::string_view bytes, unsigned mode) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) return false;
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
