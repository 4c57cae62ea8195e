// The protection's actions on the wire, once over the text gateway and once
// over the chat API: a repeater warned and then kicked, a rule of
// protect.lst banning, and the server's confirmations closing the record.
#include <string>

#include "support/transport_session.h"

namespace tolvik::testing {
namespace {

class ProtectionWire : public TransportSessionTest {
 protected:
  bool RecordHas(const std::string& line) {
    return Run([&] { return dir.exists("moderation.log") && dir.read("moderation.log").find(line) != std::string::npos; });
  }
};

TEST_P(ProtectionWire, RepeaterWarnedThenKickedAndARuleBansWithConfirmations) {
  WriteBotIni("[Protection]\r\nFlood=0\r\nRepeat=1\r\nRepeatLines=3\r\nRules=1\r\n");
  dir.write("protect.lst", "*cheap minerals*\tban\tselling\n");
  Open();
  LogIn();

  for (int i = 0; i < 3; ++i) Talk("alice", "buy my stuff");
  EXPECT_FALSE(WaitSent(Out::kWhisper, "alice", "Warning (repeat): repeating the same line").empty());
  EXPECT_EQ(CountSent(Out::kKick, "alice"), 0);
  for (int i = 0; i < 3; ++i) Talk("alice", "BUY  my stuff");
  const std::string kick = WaitSent(Out::kKick, "alice");
  ASSERT_FALSE(kick.empty());
  Confirm(Out::kKick, "alice", kick);
  EXPECT_TRUE(RecordHas("\trepeat\tkick\talice\trepeating the same line\tconfirmed\n"));

  Talk("low", "CHEAP MINERALS here");
  const std::string ban = WaitSent(Out::kBan, "low");
  ASSERT_FALSE(ban.empty());
  Confirm(Out::kBan, "low", ban);
  EXPECT_TRUE(RecordHas("\tprotect.lst:1\tban\tlow\tselling\tconfirmed\n"));
  EXPECT_TRUE(RecordHas("\trepeat\twarn\talice\trepeating the same line\tsent\n"));
}

INSTANTIATE_TEST_SUITE_P(BothTransports, ProtectionWire, ::testing::Values(Wire::kText, Wire::kApi), WireName);

}  // namespace
}  // namespace tolvik::testing
