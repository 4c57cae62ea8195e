#include "settings/window_placement.h"

#include <gtest/gtest.h>

#include "storage/private_profile.h"
#include "support/temp_dir.h"

namespace tolvik {
namespace {

using testing::TempDir;

TEST(WindowPlacement, MetricsSurviveBotIniAndBadRecordsAreIgnored) {
  TempDir dir;
  const std::string ini = dir.file("Bot.ini");
  EXPECT_FALSE(LoadWindowPlacement(ini).has_value());

  WindowPlacement saved;
  saved.showCmd = WindowPlacement::kShowMaximized;
  saved.normal = {-20, 10, 1000, 700};
  ASSERT_TRUE(SaveWindowPlacement(ini, saved));
  ASSERT_TRUE(SaveUserListWidth(ini, 180));
  // 44 bytes, upper-case hex, then the checksum byte: 90 hex digits.
  const std::string text = PrivateProfile::ReadString("Window", "Metrics", "", 256, ini);
  ASSERT_EQ(text.size(), 90u);
  EXPECT_EQ(text.substr(0, 8), "2C000000");     // length 44, little-endian
  EXPECT_EQ(text.substr(56, 8), "ECFFFFFF");    // left -20
  EXPECT_EQ(LoadWindowPlacement(ini), saved);
  EXPECT_EQ(LoadUserListWidth(ini), 180);

  // A record whose length field is not 44, or with an empty rectangle, is not a placement.
  WindowPlacement wrong = saved;
  wrong.length = 40;
  ASSERT_TRUE(SaveWindowPlacement(ini, wrong));
  EXPECT_FALSE(LoadWindowPlacement(ini).has_value());
  wrong = saved;
  wrong.normal.right = wrong.normal.left;
  ASSERT_TRUE(SaveWindowPlacement(ini, wrong));
  EXPECT_FALSE(LoadWindowPlacement(ini).has_value());
  // A damaged value (checksum off) neither.
  ASSERT_TRUE(PrivateProfile::WriteString("Window", "Metrics", text.substr(0, 88) + "00", ini));
  EXPECT_FALSE(LoadWindowPlacement(ini).has_value());
}

TEST(WindowPlacement, RestoredRectanglesAreKeptOnTheScreen) {
  EXPECT_EQ(ClampScreenSize(320, 200).width, 640);
  EXPECT_EQ(ClampScreenSize(320, 200).height, 480);
  EXPECT_EQ(ClampScreenSize(3840, 2160).width, 1920);
  EXPECT_EQ(ClampScreenSize(3840, 2160).height, 1440);
  const ScreenSize screen = ClampScreenSize(1280, 900);

  // Larger than the screen: shrunk to it.
  EXPECT_EQ(ClampNormalRect({0, 0, 3000, 2000}, screen), (PlacementRect{0, 0, 1280, 900}));
  // Off to the right or below: pulled back to 30 pixels from the edge, size kept.
  EXPECT_EQ(ClampNormalRect({2000, 100, 2400, 400}, screen), (PlacementRect{1250, 100, 1650, 400}));
  EXPECT_EQ(ClampNormalRect({100, 1500, 500, 1800}, screen), (PlacementRect{100, 870, 500, 1170}));
  // Off to the left: the right edge comes back to 60.
  EXPECT_EQ(ClampNormalRect({-900, 100, -100, 400}, screen), (PlacementRect{-740, 100, 60, 400}));
  // Above the screen by more than 5 pixels: moved down to 0; up to 5 is left alone.
  EXPECT_EQ(ClampNormalRect({10, -50, 410, 250}, screen), (PlacementRect{10, 0, 410, 300}));
  EXPECT_EQ(ClampNormalRect({10, -5, 410, 250}, screen), (PlacementRect{10, -5, 410, 250}));
}

TEST(WindowPlacement, UserListWidthFallsBackTo200) {
  EXPECT_EQ(UsableUserListWidth(150, 800), 150);
  EXPECT_EQ(UsableUserListWidth(4, 800), 200);
  EXPECT_EQ(UsableUserListWidth(801, 800), 200);
  EXPECT_EQ(UsableUserListWidth(800, 800), 800);
}

}  // namespace
}  // namespace tolvik
