#include "display/chat_display.h"

#include <gtest/gtest.h>

#include <string>

#include "support/recording_display.h"

namespace tolvik {
namespace {

using testing::RecordingDisplay;

TEST(ChatDisplay, DropsLinesShorterThanTwoCharacters) {
  RecordingDisplay d;
  EXPECT_EQ(d.print(TextType::BotInfo, "%s", ""), 1);
  EXPECT_EQ(d.print(TextType::BotInfo, "%s", "x"), 1);
  EXPECT_EQ(d.print(TextType::BotInfo, "<%s> %s", "a", "b"), 0);
  EXPECT_EQ(d.texts(), std::vector<std::string>{"<a> b"});
}

TEST(ChatDisplay, CutsAt511Characters) {
  RecordingDisplay d;
  std::string big(2000, 'x');
  d.print(TextType::BotInfo, "%s", big.c_str());
  ASSERT_EQ(d.texts().size(), 1u);
  EXPECT_EQ(d.texts()[0].size(), 511u);
}

// U+202E (E2 80 AE) in a name turned "<name> olleh <renwo" into what reads
// as a line of "owner"; every explicit direction control goes.
TEST(ChatDisplay, NoDirectionControlReachesTheLine) {
  RecordingDisplay d;
  d.print(TextType::OthersText, "<%s> %s", "\xE2\x80\xAEX", "olleh <renwo");
  d.print(TextType::OthersText, "<%s> %s", "a\xE2\x80\xAA\xE2\x80\xAB\xE2\x80\xAC\xE2\x80\xAD",
          "\xE2\x81\xA6\xE2\x81\xA7\xE2\x81\xA8z\xE2\x81\xA9");
  EXPECT_EQ(d.texts(), (std::vector<std::string>{"<X> olleh <renwo", "<a> z"}));
}

TEST(ChatDisplay, NeighboursOfTheControlsStay) {
  RecordingDisplay d;
  // U+2029 and U+2065 sit just outside the ranges; U+200F (right-to-left
  // mark) is no embedding; an invalid lead byte before a control stays.
  d.print(TextType::BotInfo, "%s", "a\xE2\x80\xA9\xE2\x81\xA5\xE2\x80\x8F\xE2\xE2\x80\xAE");
  EXPECT_EQ(d.texts(), std::vector<std::string>{"a\xE2\x80\xA9\xE2\x81\xA5\xE2\x80\x8F\xE2"});
  // Two characters left after the controls are shown; one is not.
  EXPECT_EQ(d.print(TextType::BotInfo, "%s", "\xE2\x80\xAEx"), 1);
  EXPECT_EQ(d.print(TextType::BotInfo, "%s", "\xE2\x80\xAExy"), 0);
  EXPECT_EQ(d.texts().back(), "xy");
}

}  // namespace
}  // namespace tolvik
