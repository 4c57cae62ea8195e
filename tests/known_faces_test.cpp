// The pinned certificates of bots attached over the network: one line per
// host and port, replaced in place, other lines kept as they were.
#include "face/known_faces.h"

#include <gtest/gtest.h>

#include "face/remote_face_connect.h"
#include "support/temp_dir.h"

namespace tolvik {
namespace {

using testing::TempDir;

TEST(KnownFaces, PinsArePerHostAndPortAndReplacedInPlace) {
  TempDir home;
  KnownFaces known(home.file("a/b/known_faces"));
  EXPECT_EQ(known.Check("bot.example:7000", "AA"), KnownFaces::Match::Unknown);
  std::string error;
  ASSERT_TRUE(known.Pin("bot.example:7000", "AA", &error)) << error;  // makes the directories
  EXPECT_EQ(known.Check("bot.example:7000", "AA"), KnownFaces::Match::Same);
  std::string pinned;
  EXPECT_EQ(known.Check("bot.example:7000", "BB", &pinned), KnownFaces::Match::Changed);
  EXPECT_EQ(pinned, "AA");
  EXPECT_EQ(known.Check("bot.example:7001", "AA"), KnownFaces::Match::Unknown);

  home.write("a/b/known_faces", "# my bots\n" + home.read("a/b/known_faces") + "[::1]:7000 CC\nodd line here\n");
  ASSERT_TRUE(known.Pin("bot.example:7000", "BB", &error)) << error;
  EXPECT_EQ(home.read("a/b/known_faces"), "# my bots\n[::1]:7000 CC\nodd line here\nbot.example:7000 BB\n");
  EXPECT_EQ(known.Check("[::1]:7000", "CC"), KnownFaces::Match::Same);
}

TEST(KnownFaces, EndpointKeysAndAttachAddresses) {
  EXPECT_EQ(FaceEndpointKey("Bot.Example", 7000), "bot.example:7000");
  EXPECT_EQ(FaceEndpointKey("2001:DB8::1", 7000), "[2001:db8::1]:7000");
  std::string host;
  int port = 0;
  ASSERT_TRUE(SplitFaceEndpoint("[::1]:7000", &host, &port));
  EXPECT_EQ(host, "::1");
  EXPECT_EQ(port, 7000);
  ASSERT_TRUE(SplitFaceEndpoint("bot.example:65535", &host, &port));
  EXPECT_EQ(port, 65535);
  // A face must name the port: 0 is only for a bot choosing one.
  for (const char* bad : {"bot.example:0", "bot.example", "bot.example:65536", "::1:7000"})
    EXPECT_FALSE(SplitFaceEndpoint(bad, &host, &port)) << bad;
}

}  // namespace
}  // namespace tolvik
