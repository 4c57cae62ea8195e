// The files a working directory starts with: users.lst with its levels and a
// Bot.ini with a colour scheme for the black pane, made only where missing.
#include "app/starter_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <string>

#include "app/document.h"
#include "settings/font_records.h"
#include "bot/chat_bot.h"
#include "support/crlf.h"
#include "support/recording_display.h"
#include "support/file_mode.h"
#include "support/temp_dir.h"
#include "support/test_host.h"

namespace tolvik {
namespace {

using testing::Crlf;
using testing::RecordingDisplay;
using testing::ModeOf;
using testing::TempDir;
using testing::TestHost;

// Relative luminance of a 0x00BBGGRR colour (sRGB, 0 black to 1 white).
double Luminance(uint32_t colour) {
  auto channel = [](uint32_t byte) {
    const double c = byte / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * channel(colour & 0xFF) + 0.7152 * channel((colour >> 8) & 0xFF) +
         0.0722 * channel((colour >> 16) & 0xFF);
}

TEST(StarterFiles, ANewDirectoryGetsUsersListWithEveryLevelSoAddWorksAtOnce) {
  TempDir dir;
  RecordingDisplay display;
  TestHost host;
  CHaldenDoc doc(dir.path().string(), display, host);
  EXPECT_EQ(dir.read("users.lst"), Crlf("[Level1]\n\n[Level2]\n\n[Level3]\n\n[Level4]\n\n[Level5]\n\n[Level6]\n\n"
                                        "[Level7]\n\n[Level8]\n\n[Level9]\n"));

  // The operator adds a name at level 7: it lands under its header, not as "No users.lst found".
  doc.Bot().Access().AddUser("/add joe 7", "owner", true);
  EXPECT_EQ(doc.Bot().Access().GetUserLevel("joe"), 7);
  EXPECT_FALSE(display.contains("No users.lst found"));
  EXPECT_NE(dir.read("users.lst").find(Crlf("[Level7]\njoe\n")), std::string::npos);
}

TEST(StarterFiles, ExistingFilesAreNeverRewritten) {
  TempDir dir;
  const std::string users = Crlf("[Level3]\nbob\n");
  const std::string ini = Crlf("[Init]\nLogin=acct\n");
  dir.write("users.lst", users);
  dir.write("Bot.ini", ini);
  dir.write("script.ini", "");
  {
    RecordingDisplay display;
    TestHost host;
    CHaldenDoc doc(dir.path().string(), display, host);
    // No [Fonts] added: the built-in white stays for a file the user already has.
    EXPECT_EQ(LoadTextFormats(dir.file("Bot.ini")), DefaultTextFormats());
  }
  EXPECT_EQ(dir.read("users.lst"), users);
  EXPECT_EQ(dir.read("Bot.ini"), ini);

  // An empty Bot.ini is the user's file too.
  TempDir empty;
  empty.write("Bot.ini", "");
  RecordingDisplay display;
  TestHost host;
  CHaldenDoc doc(empty.path().string(), display, host);
  EXPECT_EQ(empty.read("Bot.ini"), "");
}

TEST(StarterFiles, ANewBotIniHoldsTheSchemeForItsOwnerOnly) {
  TempDir dir;
  RecordingDisplay display;
  TestHost host;
  CHaldenDoc doc(dir.path().string(), display, host);
  EXPECT_EQ(ModeOf(dir.file("Bot.ini")), 0600u);
  EXPECT_EQ(LoadTextFormats(dir.file("Bot.ini")), StarterTextFormats());
  // The display took the scheme at start, not the built-in white.
  doc.Display().print(TextType::Whispers, "a whisper");
  ASSERT_FALSE(display.lines().empty());
  EXPECT_EQ(display.lines().back().format, StarterTextFormats()[TextTypeIndex(TextType::Whispers)]);
}

TEST(StarterFiles, ANewBotIniGivesEveryCommandALevelAndSaysNothingAboutOpenCommands) {
  TempDir dir;
  RecordingDisplay display;
  TestHost host;
  CHaldenDoc doc(dir.path().string(), display, host);
  // Every key the interpreters read is set, none of them at 0: an unlisted
  // user (level 0) may command nothing.
  const BotSettings settings = LoadBotSettings(dir.file("Bot.ini"));
  for (const CommandLevelKey& key : kCommandLevelKeys) {
    EXPECT_GE(settings.commands.*key.field, 1) << key.key;
    EXPECT_EQ(settings.commands.*key.field, StarterCommandLevel(key.key)) << key.key;
  }
  EXPECT_EQ(settings.commands.Say, 5);
  EXPECT_EQ(settings.commands.Kick, 6);
  EXPECT_EQ(settings.commands.Ban, 7);
  EXPECT_EQ(settings.commands.Join, 8);
  EXPECT_EQ(settings.commands.Designate, 9);
  EXPECT_FALSE(display.contains("may command this bot"));
}

TEST(StarterFiles, AnExistingBotIniWithoutCommandLevelsIsWarnedAboutOnceAndKeptAsItIs) {
  for (const std::string& ini : {Crlf("[Init]\nLogin=acct\n"), Crlf("[Init]\nLogin=acct\n[Commands]\n")}) {
    TempDir dir;
    dir.write("Bot.ini", ini);
    RecordingDisplay display;
    TestHost host;
    CHaldenDoc doc(dir.path().string(), display, host);
    doc.ReloadBotIni();
    size_t warnings = 0;
    for (const std::string& text : display.texts())
      if (text.rfind("Every user, listed or not, may command this bot", 0) == 0) ++warnings;
    EXPECT_EQ(warnings, 1u) << ini;
    EXPECT_EQ(dir.read("Bot.ini"), ini);
    EXPECT_EQ(doc.Bot().CommandLevel("Say"), -1);  // the reading rule stays
  }
  // One key is enough to count as configured.
  TempDir dir;
  dir.write("Bot.ini", Crlf("[Commands]\nSay=3\n"));
  RecordingDisplay display;
  TestHost host;
  CHaldenDoc doc(dir.path().string(), display, host);
  EXPECT_FALSE(display.contains("may command this bot"));
}

TEST(StarterFiles, SchemeColoursAreDistinctAndReadableOnBlack) {
  const TextFormats formats = StarterTextFormats();
  for (int i = 0; i < kTextTypeCount; ++i) {
    const TextFormat& f = formats[i];
    EXPECT_TRUE(f.mask & kCfmColor) << TextTypeKey(TextTypeAt(i));
    // WCAG contrast against black of at least 4.5:1.
    EXPECT_GE((Luminance(f.colour) + 0.05) / 0.05, 4.5) << TextTypeKey(TextTypeAt(i));
    EXPECT_EQ(f.height, 200);
    for (int j = 0; j < i; ++j)
      EXPECT_NE(f.colour, formats[j].colour) << TextTypeKey(TextTypeAt(i)) << " and " << TextTypeKey(TextTypeAt(j));
  }
  // Links stay underlined links in the 84-byte record.
  const TextFormat& urls = formats[TextTypeIndex(TextType::URLs)];
  EXPECT_EQ(urls.size, 84u);
  EXPECT_EQ(urls.effects & (kCfeUnderline | kCfeLink), kCfeUnderline | kCfeLink);
}

TEST(StarterFiles, CreateFileIfMissingLeavesAnExistingFileAlone) {
  TempDir dir;
  EXPECT_TRUE(CreateFileIfMissing(dir.file("a"), "first", 0600));
  EXPECT_EQ(ModeOf(dir.file("a")), 0600u);
  EXPECT_FALSE(CreateFileIfMissing(dir.file("a"), "second", 0600));
  EXPECT_EQ(dir.read("a"), "first");
  EXPECT_FALSE(CreateFileIfMissing(dir.file("no/such/dir/a"), "x", 0600));
}

}  // namespace
}  // namespace tolvik
