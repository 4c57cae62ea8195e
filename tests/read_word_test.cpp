#include "bot/read_word.h"

#include <gtest/gtest.h>

#include <string>

#include "support/recording_display.h"

namespace tolvik {
namespace {

TEST(ReadWord, DelimitersSkippedSpacesAndPositionsOutOfRange) {
  char w[30];
  const char* line = "/add   joe 5";
  int n = ReadWord(line, 5, w, sizeof w, nullptr);
  EXPECT_EQ(n, 5);  // three skipped spaces count
  EXPECT_STREQ(w, "joe");
  EXPECT_EQ(ReadWord(line, 5 + n + 1, w, sizeof w, nullptr), 1);
  EXPECT_STREQ(w, "5");

  EXPECT_EQ(ReadWord("a,b", 0, w, sizeof w, nullptr), 1);
  EXPECT_EQ(ReadWord("ab\ncd", 2, w, sizeof w, nullptr), 0);  // LF at the position
  EXPECT_EQ(ReadWord(" ,x", 0, w, sizeof w, nullptr), 1);     // a comma first: empty word
  EXPECT_STREQ(w, "");
  EXPECT_EQ(ReadWord("a\tb\rc d", 0, w, sizeof w, nullptr), 5);  // only the space separates
  EXPECT_STREQ(w, "a\tb\rc");
  EXPECT_EQ(ReadWord(std::string_view("ab\0cd", 5), 0, w, sizeof w, nullptr), 2);
  // A bare "/ban" read at 5: nothing past the end is touched.
  EXPECT_EQ(ReadWord("/ban", 5, w, sizeof w, nullptr), 0);
  EXPECT_STREQ(w, "");
}

TEST(ReadWord, AWordReachingCapMinusTwoIsCutAndReported) {
  testing::RecordingDisplay display;
  char w[30];
  EXPECT_EQ(ReadWord(std::string(27, 'a') + " x", 0, w, sizeof w, &display), 27);
  EXPECT_TRUE(display.texts().empty());
  EXPECT_EQ(ReadWord(std::string(28, 'b') + " x", 0, w, sizeof w, &display), 28);
  EXPECT_EQ(display.texts(), std::vector<std::string>{"Error - Possible Word Trunctation due to buffer overflow"});
  EXPECT_EQ(ReadWord("  " + std::string(40, 'c'), 0, w, sizeof w, &display), 30);
  EXPECT_EQ(w, std::string(28, 'c'));

  char small[6] = "#####";
  EXPECT_EQ(ReadWord("abcdefgh", 0, small, 5, nullptr), 3);
  EXPECT_STREQ(small, "abc");
  EXPECT_EQ(small[4], '#');  // never past cap - 1 bytes
}

TEST(SameName, FoldsAsciiLettersOnly) {
  EXPECT_TRUE(SameName("Bob", "bOB"));
  EXPECT_FALSE(SameName("bob", "bobby"));
  EXPECT_FALSE(SameName(std::string_view("bob\0x", 5), "bob"));
  EXPECT_FALSE(SameName("\xc4ke", "\xe4ke"));
}

}  // namespace
}  // namespace tolvik
