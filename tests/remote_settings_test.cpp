// Bot.ini [Remote] Listen: off unless set; host:port in every accepted form,
// ports at and past their limits, and what is refused.
#include "settings/remote_settings.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace tolvik {
namespace {

using testing::TempDir;

RemoteSettings Load(const std::string& bot_ini_text) {
  TempDir dir;
  dir.write("Bot.ini", bot_ini_text);
  return LoadRemoteSettings(dir.file("Bot.ini"));
}

TEST(RemoteSettings, OffUnlessListenIsSet) {
  TempDir dir;
  EXPECT_FALSE(LoadRemoteSettings(dir.file("Bot.ini")).enabled);
  const RemoteSettings empty = Load("[Init]\r\nLogin=x\r\n[Remote]\r\nListen=\r\n");
  EXPECT_FALSE(empty.enabled);
  EXPECT_EQ(empty.error, "");
}

TEST(RemoteSettings, AddressForms) {
  const RemoteSettings v4 = Load("[Remote]\r\nListen= 127.0.0.1:0 \r\n");
  EXPECT_TRUE(v4.enabled);
  EXPECT_EQ(v4.host, "127.0.0.1");
  EXPECT_EQ(v4.port, 0);
  const RemoteSettings v6 = Load("[Remote]\nListen=[::1]:65535\n");
  EXPECT_TRUE(v6.enabled);
  EXPECT_EQ(v6.host, "::1");
  EXPECT_EQ(v6.port, 65535);
  const RemoteSettings named = Load("[Remote]\nListen=bot.example.org:7000\n");
  EXPECT_EQ(named.host, "bot.example.org");
  EXPECT_EQ(named.port, 7000);
}

TEST(RemoteSettings, MalformedAddressesAreRefusedWithTheReason) {
  for (const char* bad : {"127.0.0.1:65536", "127.0.0.1", "::1:7000", ":7000", "[::1]7000", "[::1]:", "host:7x",
                          "host:-1", "host:000007000"}) {
    const RemoteSettings s = Load(std::string("[Remote]\nListen=") + bad + "\n");
    EXPECT_FALSE(s.enabled) << bad;
    EXPECT_EQ(s.error, std::string("Bot.ini [Remote] Listen=") + bad +
                           " is not host:port (an address of this machine and a port, 0 for any free one)");
  }
}

}  // namespace
}  // namespace tolvik
