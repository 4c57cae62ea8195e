// The text of a left-out notice: lines joined, long text cut and counted.
#include "ui/left_out_notice.h"

#include <gtest/gtest.h>

#include <string>

namespace tolvik::ui {
namespace {

TEST(LeftOutText, LinesAreJoinedAndEmptyOnesDropped) {
  EXPECT_EQ(LeftOutText("one"), "one");
  EXPECT_EQ(LeftOutText("\r\none\r\n\r\ntwo\n"), "one \xE2\x8F\x8E two");
  EXPECT_EQ(LeftOutText("\n\n"), "");
}

TEST(LeftOutText, CutBetweenCharactersAtTheShownLimitWithTheRestCounted) {
  const size_t limit = LeftOutNotice::kShownBytes;
  EXPECT_EQ(LeftOutText(std::string(limit, 'a')), std::string(limit, 'a'));
  EXPECT_EQ(LeftOutText(std::string(limit + 1, 'a')), std::string(limit, 'a') + " ... (1 more bytes)");
  // A two-byte character across the limit goes whole into the counted rest.
  const std::string text = std::string(limit - 1, 'a') + "\xC3\xA9";
  EXPECT_EQ(LeftOutText(text), std::string(limit - 1, 'a') + " ... (2 more bytes)");
}

}  // namespace
}  // namespace tolvik::ui
