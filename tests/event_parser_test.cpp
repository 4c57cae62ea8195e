#include <gtest/gtest.h>

#include <string>

#include "net/chat_event.h"
#include "support/recording_connection.h"

namespace tolvik {
namespace {

using testing::RecordingConnection;

ChatEvent Parse(const std::string& line) {
  ChatEvent ev;
  ParseEvent(line.c_str(), &ev);
  return ev;
}

TEST(ParseEvent, UserLinesCarryNameFlagsAndProductTag) {
  for (const char* line : {"1002 JOIN Alice 0010 [STAR]", "1001 USER Alice 0010 [STAR]\r"}) {
    ChatEvent ev = Parse(line);
    EXPECT_STREQ(ev.name, "Alice") << line;
    EXPECT_EQ(ev.flags, 0x10u) << line;
    EXPECT_STREQ(ev.text, "[STAR]") << line;
  }
  EXPECT_EQ(Parse("1001 USER Alice 0010 [STAR]").id, 1001);
}

TEST(ParseEvent, QuotedTextRunsFromFirstToLastQuote) {
  ChatEvent ev = Parse("1005 TALK Bob 0000 \"he said \"hi\" twice\"\r");
  EXPECT_STREQ(ev.name, "Bob");
  EXPECT_STREQ(ev.text, "he said \"hi\" twice");

  ev = Parse("1005 TALK Bob 0000 \"no closing quote");
  EXPECT_STREQ(ev.text, "no closing quote");
}

TEST(ParseEvent, ChannelAndInfoLinesHaveNoNameOrFlags) {
  ChatEvent ev = Parse("1007 CHANNEL \"Clan Home\"");
  EXPECT_STREQ(ev.name, "");
  EXPECT_EQ(ev.flags, 0u);
  EXPECT_STREQ(ev.text, "Clan Home");

  ev = Parse("1018 INFO \"You are banned\"");
  EXPECT_STREQ(ev.name, "");
  EXPECT_STREQ(ev.text, "You are banned");
}

TEST(ParseEvent, BroadcastTakesTheQuotedWordAsName) {
  ChatEvent ev = Parse("1006 BROADCAST \"Server going down\"");
  EXPECT_STREQ(ev.name, "\"Server");
  EXPECT_EQ(ev.flags, 0u);
  EXPECT_STREQ(ev.text, "Server going down");
}

TEST(ParseEvent, LongQuotedTextIsCutTo255BeforeTheLastQuote) {
  std::string body(300, 'a');
  ChatEvent ev = Parse("1005 TALK Bob 0000 \"" + body + "\"");
  EXPECT_EQ(std::string(ev.text), std::string(255, 'a'));

  // Within the first 255 characters there is a quote: the text ends before it.
  std::string mixed = std::string(100, 'b') + "\"" + std::string(300, 'c');
  ev = Parse("1005 TALK Bob 0000 \"" + mixed + "\"");
  EXPECT_EQ(std::string(ev.text), std::string(100, 'b'));
}

TEST(ParseEvent, HostileInputStaysBounded) {
  std::string long_name(1000, 'N');
  ChatEvent ev = Parse("1002 JOIN " + long_name + " 0010 " + std::string(600, 'T'));
  EXPECT_EQ(std::string(ev.name), std::string(127, 'N'));
  EXPECT_EQ(ev.flags, 0x10u);
  EXPECT_EQ(std::string(ev.text), std::string(255, 'T'));

  ev = Parse("99999999999999999999 X y 1");
  EXPECT_GT(ev.id, 0);  // saturated, not wrapped into a known id

  ev = Parse("1005 TALK Bob zz \"x\"");  // unreadable flags stay 0
  EXPECT_EQ(ev.flags, 0u);
  EXPECT_STREQ(ev.name, "Bob");

  ev = Parse("1005");
  EXPECT_EQ(ev.id, 1005);
  EXPECT_STREQ(ev.name, "");

  EXPECT_TRUE(ParseEvent(nullptr, &ev));
  EXPECT_TRUE(ParseEvent("1005", nullptr));
  EXPECT_EQ(Parse("TALK").id, 0);
}

struct SlotCase {
  const char* line;
  const char* handler;
};

TEST(DispatchLine, EachIdReachesItsOwnHandler) {
  const SlotCase cases[] = {
      {"1001 USER A 0000 [STAR]", "OnShowUser"},  {"1002 JOIN A 0000 [STAR]", "OnJoin"},
      {"1009 USER A 0002 [STAR]", "OnUserFlags"}, {"1003 LEAVE A 0000", "OnLeave"},
      {"1005 TALK A 0000 \"x\"", "OnTalk"},       {"1006 BROADCAST \"x\"", "OnBroadcast"},
      {"1007 CHANNEL \"x\"", "OnChannel"},        {"1004 WHISPER A 0000 \"x\"", "OnWhisper"},
      {"1010 WHISPER A 0000 \"x\"", "OnWhisperSent"}, {"1023 EMOTE A 0000 \"x\"", "OnEmote"},
      {"1013 INFO \"x\"", "OnChannelFull"},       {"1014 INFO \"x\"", "OnChannelDoesNotExist"},
      {"1015 INFO \"x\"", "OnChannelRestricted"}, {"1018 INFO \"x\"", "OnInfo"},
      {"1019 ERROR \"x\"", "OnError"},            {"2010 NAME Me", "OnName"},
      {"2000 NULL", "OnNull"},                    {"1008 \"x\"", "OnRawLine"},
  };
  for (const SlotCase& c : cases) {
    RecordingConnection conn;
    int r = conn.DispatchLine(c.line);
    ASSERT_EQ(conn.calls.size(), 1u) << c.line;
    EXPECT_EQ(conn.calls[0].handler, c.handler) << c.line;
    EXPECT_EQ(r, std::string(c.handler) == "OnWhisper" ? conn.whisper_result : 1) << c.line;
  }
}

TEST(DispatchLine, UnknownIdsCallNothingAndReturnZero) {
  for (const char* line : {"1016 X", "1020 X", "1011 X", "1012 X", "3000 X", "hello"}) {
    RecordingConnection conn;
    EXPECT_EQ(conn.DispatchLine(line), 0) << line;
    EXPECT_TRUE(conn.calls.empty()) << line;
  }
}

TEST(DispatchLine, UnknownIdIsLoggedWhenALogIsAttached) {
  RecordingConnection conn;
  char* buf = nullptr;
  size_t size = 0;
  FILE* log = open_memstream(&buf, &size);
  conn.AttachLog(log);
  conn.DispatchLine("1016 X");
  fflush(log);
  EXPECT_EQ(std::string(buf, size), "Unhandled event ID 1016\r\n");
  conn.AttachLog(nullptr);
  free(buf);
}

TEST(DispatchLine, ControlBytesInNamesAndTextsArriveAsBlanks) {
  RecordingConnection conn;
  conn.DispatchLine("1004 WHISPER ev\x01il 0010 \"/kick \towner\x0b\r/ban x\x7f\x1b[2J\"");
  conn.DispatchLine("1008 \"raw\ttext\"");
  ASSERT_EQ(conn.calls.size(), 2u);
  EXPECT_EQ(conn.calls[0].name, "ev il");
  EXPECT_EQ(conn.calls[0].flags, 0x10u);
  EXPECT_EQ(conn.calls[0].text, "/kick  owner  /ban x  [2J");
  EXPECT_EQ(conn.calls[1].text, "raw text");
}

TEST(DispatchLine, ChannelAndNameUpdateTheConnection) {
  RecordingConnection conn;
  conn.SetLoginInfo("acct", "pw", "server", 6112);
  EXPECT_STREQ(conn.OwnName(), "acct");
  conn.DispatchLine("1007 CHANNEL \"Clan Home\"\r");
  EXPECT_STREQ(conn.CurrentChannel(), "Clan Home");
  conn.DispatchLine("2010 NAME acct#2\r");
  EXPECT_STREQ(conn.OwnName(), "acct#2");
  conn.DispatchLine("2000 NULL\r");
  EXPECT_EQ(conn.calls.back().name, "");
  EXPECT_EQ(conn.calls.back().text, "");
}

}  // namespace
}  // namespace tolvik
