#include "display/text_format.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <utility>

#include "app/document.h"
#include "settings/font_records.h"
#include "storage/private_profile.h"
#include "support/recording_display.h"
#include "support/temp_dir.h"
#include "support/test_host.h"

namespace tolvik {
namespace {

using testing::TempDir;

TextFormat Sample() {
  TextFormat f;
  f.size = 84;
  f.mask = 0xFFFFFFFF;
  f.effects = 0x00300021;
  f.height = -240;
  f.offset = 0x01020304;
  f.colour = 0x00112233;
  f.charset = 0xEE;
  f.pitchAndFamily = 0x31;
  std::memcpy(f.faceName, "Courier New", 11);
  f.padding[0] = 0xAA;
  f.padding[1] = 0xBB;
  for (int i = 0; i < 24; ++i) f.extra[i] = static_cast<uint8_t>(0xC0 + i);
  return f;
}

TEST(TextFormatRecord, EncodesTheLittleEndianLayout) {
  std::array<uint8_t, 84> b{};
  EncodeTextFormat(Sample(), b);
  const uint8_t head[26] = {84,   0,    0,    0,    0xFF, 0xFF, 0xFF, 0xFF, 0x21, 0,    0x30, 0,    0x10,
                            0xFF, 0xFF, 0xFF, 0x04, 0x03, 0x02, 0x01, 0x33, 0x22, 0x11, 0x00, 0xEE, 0x31};
  EXPECT_EQ(std::memcmp(b.data(), head, sizeof head), 0);
  EXPECT_EQ(std::memcmp(b.data() + 26, "Courier New\0", 12), 0);
  EXPECT_EQ(b[57], 0);
  EXPECT_EQ(b[58], 0xAA);
  EXPECT_EQ(b[59], 0xBB);
  EXPECT_EQ(b[60], 0xC0);
  EXPECT_EQ(b[83], 0xC0 + 23);
}

TEST(TextFormatRecord, DecodeReversesEncodeForBothSizes) {
  TextFormat f = Sample();
  std::array<uint8_t, 84> big{};
  EncodeTextFormat(f, big);
  TextFormat back;
  ASSERT_TRUE(DecodeTextFormat(big, back));
  EXPECT_EQ(back, f);

  std::array<uint8_t, 60> small{};
  EncodeTextFormat(f, small);
  ASSERT_TRUE(DecodeTextFormat(small, back));
  TextFormat noTail = f;
  std::memset(noTail.extra, 0, sizeof noTail.extra);
  EXPECT_EQ(back, noTail);

  std::array<uint8_t, 59> odd{};
  EXPECT_FALSE(DecodeTextFormat(odd, back));
}

TEST(TextFormatRecord, UrlDefaultDiffersFromTheOthers) {
  TextFormats all = DefaultTextFormats();
  const TextFormat& u = all[TextTypeIndex(TextType::URLs)];
  EXPECT_EQ(u.size, 84u);
  EXPECT_EQ(u.mask, 0xC000002Fu);
  EXPECT_EQ(u.effects, 0x24u);
  EXPECT_EQ(u.height, 200);
  EXPECT_EQ(u.colour, 0x00FFFFFFu);
  for (int i = 0; i < kTextTypeCount; ++i) {
    if (TextTypeAt(i) == TextType::URLs) continue;
    EXPECT_EQ(all[i], DefaultTextFormat()) << TextTypeKey(TextTypeAt(i));
  }
}

TEST(TextFormatRecord, FontsKeysInTypeOrder) {
  const char* expected[] = {"MyText", "OthersText", "Emotes",  "Joins",       "Parts",
                            "Whispers", "BnetInfo", "BotInfo", "Highlighted", "URLs"};
  for (int i = 0; i < kTextTypeCount; ++i) EXPECT_STREQ(TextTypeKey(TextTypeAt(i)), expected[i]);
}

TEST(TextFormatRecord, DefaultRecordHasAKnownStructText) {
  std::array<uint8_t, 60> b{};
  EncodeTextFormat(DefaultTextFormat(), b);
  // size 60, mask C0000000, height 200, colour white; the sum is 0x4C1.
  std::string expected = "3C000000000000C000000000C800000000000000FFFFFF00" + std::string(72, '0') + "C1";
  EXPECT_EQ(PrivateProfile::EncodeStruct(b), expected);
}

// ---- [Fonts] in Bot.ini

TEST(FontRecords, MissingBotIniGivesTheDefaults) {
  TempDir dir;
  EXPECT_EQ(LoadTextFormats(dir.file("Bot.ini")), DefaultTextFormats());
}

TEST(FontRecords, SavedRecordsLoadAndBadOnesFallBack) {
  TempDir dir;
  std::string ini = dir.file("Bot.ini");
  TextFormat mine = Sample();
  mine.size = 60;
  std::memset(mine.extra, 0, sizeof mine.extra);
  ASSERT_TRUE(SaveTextFormat(ini, TextType::Whispers, mine));
  TextFormat url = Sample();
  ASSERT_TRUE(SaveTextFormat(ini, TextType::URLs, url));
  EXPECT_EQ(PrivateProfile::ReadString("Fonts", "URLs", "", 1000, ini).size(), 170u);
  EXPECT_EQ(PrivateProfile::ReadString("Fonts", "Whispers", "", 1000, ini).size(), 122u);

  // A record with a wrong checksum and one of the wrong length.
  std::string corrupt = PrivateProfile::ReadString("Fonts", "Whispers", "", 1000, ini);
  corrupt.back() = corrupt.back() == '0' ? '1' : '0';
  ASSERT_TRUE(PrivateProfile::WriteString("Fonts", "Emotes", corrupt, ini));
  ASSERT_TRUE(PrivateProfile::WriteString("Fonts", "Joins", PrivateProfile::ReadString("Fonts", "URLs", "", 1000, ini), ini));

  TextFormats f = LoadTextFormats(ini);
  EXPECT_EQ(f[TextTypeIndex(TextType::Whispers)], mine);
  EXPECT_EQ(f[TextTypeIndex(TextType::URLs)], url);
  EXPECT_EQ(f[TextTypeIndex(TextType::Emotes)], DefaultTextFormat());
  EXPECT_EQ(f[TextTypeIndex(TextType::Joins)], DefaultTextFormat());
  EXPECT_EQ(f[TextTypeIndex(TextType::MyText)], DefaultTextFormat());
}

TEST(FontRecords, HighlightRecordsAreSixtyBytesUnderTheUserName) {
  TempDir dir;
  std::string ini = dir.file("Bot.ini");
  EXPECT_FALSE(LoadHighlightFormat(ini, "Somebody").has_value());
  TextFormat h = DefaultTextFormat();
  h.mask = 0xFFFFFFFF;
  h.colour = 0x000000FF;
  ASSERT_TRUE(SaveHighlightFormat(ini, "Somebody", h));
  auto back = LoadHighlightFormat(ini, "somebody");
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(*back, h);
  // An 84-byte record under a user's name is not a valid highlight.
  ASSERT_TRUE(SaveTextFormat(ini, TextType::URLs, DefaultUrlFormat()));
  ASSERT_TRUE(PrivateProfile::WriteString("Highlights", "Other", PrivateProfile::ReadString("Fonts", "URLs", "", 1000, ini), ini));
  EXPECT_FALSE(LoadHighlightFormat(ini, "Other").has_value());
  EXPECT_FALSE(LoadHighlightFormat(ini, "").has_value());
}

// ---- Highlights kept apart from the text types

TextFormat Coloured(uint32_t colour) {
  TextFormat f = DefaultTextFormat();
  f.mask = 0xFFFFFFFF;
  f.colour = colour;
  return f;
}

TEST(HighlightRecords, AUserNamedLikeATextTypeTouchesNoTextTypeRecord) {
  TempDir dir;
  std::string ini = dir.file("Bot.ini");
  const TextFormat own = Coloured(0x00112233);
  ASSERT_TRUE(SaveTextFormat(ini, TextType::MyText, own));
  EXPECT_FALSE(LoadHighlightFormat(ini, "MyText").has_value());  // the bot's colour is no user's

  ASSERT_TRUE(SaveHighlightFormat(ini, "MyText", Coloured(0x000000FF)));
  EXPECT_EQ(LoadTextFormats(ini)[TextTypeIndex(TextType::MyText)], own);
  ASSERT_TRUE(DeleteHighlightFormat(ini, "mytext"));  // "Stop Highlighting user"
  EXPECT_EQ(LoadTextFormats(ini)[TextTypeIndex(TextType::MyText)], own);
  EXPECT_FALSE(LoadHighlightFormat(ini, "MyText").has_value());
}

TEST(HighlightRecords, OldRecordsInFontsMoveOnceAndNoneIsLost) {
  TempDir dir;
  std::string ini = dir.file("Bot.ini");
  const TextFormat own = Coloured(0x00112233);
  ASSERT_TRUE(SaveTextFormat(ini, TextType::MyText, own));
  ASSERT_TRUE(SaveTextFormat(ini, TextType::URLs, DefaultUrlFormat()));
  // Old places: two users' records among the types' keys, one of them also
  // highlighted in the new place already, and a key that holds no record.
  std::array<uint8_t, kTextFormatSize> bytes{};
  for (auto [user, colour] : {std::pair{"alice", 0x000000AAu}, std::pair{"Bob", 0x000000BBu}}) {
    EncodeTextFormat(Coloured(colour), bytes);
    ASSERT_TRUE(PrivateProfile::WriteStruct("Fonts", user, bytes, ini));
  }
  ASSERT_TRUE(SaveHighlightFormat(ini, "bob", Coloured(0x000000CC)));
  ASSERT_TRUE(PrivateProfile::WriteString("Fonts", "note", "not a record", ini));

  EXPECT_EQ(MigrateHighlightRecords(ini), 2);
  EXPECT_EQ(LoadHighlightFormat(ini, "alice"), Coloured(0x000000AA));
  EXPECT_EQ(LoadHighlightFormat(ini, "bob"), Coloured(0x000000CC));  // the newer place wins
  EXPECT_EQ(PrivateProfile::ReadString("Fonts", "alice", "gone", 200, ini), "gone");
  EXPECT_EQ(PrivateProfile::ReadString("Fonts", "Bob", "gone", 200, ini), "gone");
  EXPECT_EQ(PrivateProfile::ReadString("Fonts", "note", "", 200, ini), "not a record");
  TextFormats types = LoadTextFormats(ini);
  EXPECT_EQ(types[TextTypeIndex(TextType::MyText)], own);
  EXPECT_EQ(types[TextTypeIndex(TextType::URLs)], DefaultUrlFormat());

  // Once moved, a stopped highlight stays stopped.
  ASSERT_TRUE(DeleteHighlightFormat(ini, "alice"));
  EXPECT_EQ(MigrateHighlightRecords(ini), 0);
  EXPECT_FALSE(LoadHighlightFormat(ini, "alice").has_value());
}

TEST(HighlightRecords, StartingTheDocumentMovesOldRecords) {
  TempDir dir;
  std::string ini = dir.file("Bot.ini");
  std::array<uint8_t, kTextFormatSize> bytes{};
  EncodeTextFormat(Coloured(0x00ABCDEF), bytes);
  ASSERT_TRUE(PrivateProfile::WriteStruct("Fonts", "carol", bytes, ini));
  {
    testing::RecordingDisplay display;
    testing::TestHost host;
    CHaldenDoc doc(dir.path().string(), display, host);
  }
  EXPECT_EQ(LoadHighlightFormat(ini, "carol"), Coloured(0x00ABCDEF));
  EXPECT_EQ(PrivateProfile::ReadString("Fonts", "carol", "gone", 200, ini), "gone");
}

}  // namespace
}  // namespace tolvik
