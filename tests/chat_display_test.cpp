#include "app/chat_display.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tolvik {
namespace {

struct RecordingDisplay : ChatDisplay {
  std::vector<std::string> lines;
  void append(const char* text, const TextFormat&) override { lines.emplace_back(text); }
};

TEST(ChatDisplay, DropsLinesShorterThanTwoCharacters) {
  RecordingDisplay d;
  EXPECT_EQ(d.print(TextType::BotInfo, "%s", ""), 1);
  EXPECT_EQ(d.print(TextType::BotInfo, "%s", "x"), 1);
  EXPECT_EQ(d.print(TextType::BotInfo, "<%s> %s", "a", "b"), 0);
  ASSERT_EQ(d.lines.size(), 1u);
  EXPECT_EQ(d.lines[0], "<a> b");
}

TEST(ChatDisplay, CutsAt511Characters) {
  RecordingDisplay d;
  std::string big(2000, 'x');
  d.print(TextType::BotInfo, "%s", big.c_str());
  ASSERT_EQ(d.lines.size(), 1u);
  EXPECT_EQ(d.lines[0].size(), 511u);
}

}  // namespace
}  // namespace tolvik
