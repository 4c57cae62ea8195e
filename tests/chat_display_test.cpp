#include "app/chat_display.h"

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

}  // namespace
}  // namespace tolvik
