// The chat API's messages as event records, and request answers as the
// confirmations and errors the handlers read.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/api/api_decoder.h"
#include "net/user_flags.h"

namespace tolvik::api {
namespace {

std::string UserUpdate(int id, const std::string& name, const std::string& flags = "[]",
                       const std::string& program = "W2BN") {
  return R"({"command":"Botapichat.UserUpdateEventRequest","request_id":0,"payload":{"user_id":)" +
         std::to_string(id) + R"(,"toon_name":")" + name + R"(","flag":)" + flags +
         R"(,"attribute":[{"key":"ProgramId","value":")" + program + R"("}]}})";
}
std::string Message(int id, const std::string& type, const std::string& text) {
  return R"({"command":"Botapichat.MessageEventRequest","payload":{"user_id":)" + std::to_string(id) +
         R"(,"message":")" + text + R"(","type":")" + type + R"("}})";
}
std::string Leave(int id) {
  return R"({"command":"Botapichat.UserLeaveEventRequest","payload":{"user_id":)" + std::to_string(id) + "}}";
}
std::string Answer(const std::string& command, int id, int area = 0, int code = 0) {
  std::string s = R"({"command":"Botapichat.)" + command + R"(","request_id":)" + std::to_string(id);
  if (area != 0) s += R"(,"status":{"area":)" + std::to_string(area) + R"(,"code":)" + std::to_string(code) + "}";
  return s + "}";
}
const std::string kConnect = R"({"command":"Botapichat.ConnectEventRequest","payload":{"channel":"Op Home"}})";

class DecoderTest : public ::testing::Test {
 protected:
  // Decodes at time `now` and returns the records as "id name flags text".
  std::vector<std::string> Feed(const std::string& message, int64_t now = 0) {
    last = decoder.Decode(message, now, &events, &answer);
    std::vector<std::string> out;
    for (const ChatEvent& e : events) {
      char flags[16];
      std::snprintf(flags, sizeof flags, "%04x", e.flags);
      out.push_back(std::to_string(e.id) + " " + e.name + " " + flags + " " + e.text);
    }
    return out;
  }
  // The bot, then the channel with alice (id 2) present.
  void EnterChannel() {
    Feed(UserUpdate(1, "TolvikBot"));
    Feed(kConnect);
    Feed(UserUpdate(2, "alice", R"(["Moderator"])"));
  }
  using V = std::vector<std::string>;

  ApiDecoder decoder;
  std::vector<ChatEvent> events;
  ApiDecoder::Answer answer;
  ApiDecoder::Kind last{};
};

TEST_F(DecoderTest, LoginSequenceNamesTheBotEntersTheChannelAndListsUsers) {
  EXPECT_EQ(Feed(UserUpdate(1, "TolvikBot", "[]", "")), V{"2010 TolvikBot 0000 "});
  EXPECT_EQ(decoder.OwnName(), "TolvikBot");
  // The channel, then the bot itself in the listing, as the text gateway shows it.
  EXPECT_EQ(Feed(kConnect, 100), (V{"1007  0000 Op Home", "1001 TolvikBot 0000 [CHAT]"}));
  EXPECT_EQ(Feed(UserUpdate(2, "alice", R"(["Moderator","Speaker"])", "STAR"), 150),
            V{"1001 alice 0006 [STAR]"});
}

TEST_F(DecoderTest, ListingEndsAtTheQuietLimitOrTheFirstOtherEvent) {
  Feed(UserUpdate(1, "TolvikBot"));
  Feed(kConnect, 1000);
  EXPECT_EQ(Feed(UserUpdate(2, "a"), 1000 + ApiDecoder::kListingQuietMs), V{"1001 a 0000 [W2BN]"});
  EXPECT_EQ(Feed(UserUpdate(3, "b"), 1000 + 2 * ApiDecoder::kListingQuietMs + 1), V{"1002 b 0000 [W2BN]"});
  // Once over, a listing does not come back until the next channel.
  EXPECT_EQ(Feed(UserUpdate(4, "c"), 1000 + 2 * ApiDecoder::kListingQuietMs + 2), V{"1002 c 0000 [W2BN]"});

  Feed(kConnect, 5000);
  Feed(Message(1, "Channel", "hi"), 5001);
  EXPECT_EQ(Feed(UserUpdate(5, "d"), 5002), V{"1002 d 0000 [W2BN]"});
}

TEST_F(DecoderTest, FlagsMapOntoTheGatewayBitsAndChangesOnlyReportRealChanges) {
  EnterChannel();
  EXPECT_EQ(Feed(UserUpdate(2, "alice", R"(["Moderator"])")), V{});  // nothing changed
  EXPECT_EQ(Feed(UserUpdate(2, "alice", R"(["Admin","MuteGlobal","MuteWhisper","Unheard"])")),
            V{"1009 alice 0021 [W2BN]"});
  EXPECT_EQ(Feed(UserUpdate(2, "alice", R"(["Admin","MuteGlobal"])", "SEXP")), V{"1009 alice 0021 [SEXP]"});
  // The bot's own operator status arrives the same way.
  EXPECT_EQ(Feed(UserUpdate(1, "TolvikBot", R"(["Moderator"])")), V{"1009 TolvikBot 0002 [W2BN]"});
}

// An update that leaves the flags out (a new product, a new name) says
// nothing about them: an operator stays one.
TEST_F(DecoderTest, AnUpdateWithoutFlagsKeepsTheFlagsKnown) {
  EnterChannel();
  const std::string no_flags = R"({"command":"Botapichat.UserUpdateEventRequest","payload":{"user_id":2,)"
                               R"("attribute":[{"key":"ProgramId","value":"SEXP"}]}})";
  EXPECT_EQ(Feed(R"({"command":"Botapichat.UserUpdateEventRequest","payload":{"user_id":2,"toon_name":"alice"}})"),
            V{});
  EXPECT_EQ(Feed(no_flags), V{"1009 alice 0002 [SEXP]"});
  EXPECT_EQ(Feed(Message(2, "Channel", "still op")), V{"1005 alice 0002 still op"});
}

TEST_F(DecoderTest, MessagesByTypeAndLeaves) {
  EnterChannel();
  EXPECT_EQ(Feed(Message(2, "Channel", "hello")), V{"1005 alice 0002 hello"});
  EXPECT_EQ(Feed(Message(2, "Whisper", "!help")), V{"1004 alice 0002 !help"});
  EXPECT_EQ(Feed(Message(2, "Emote", "waves")), V{"1023 alice 0002 waves"});
  EXPECT_EQ(Feed(Message(0, "ServerInfo", "Welcome")), V{"1018  0000 Welcome"});
  EXPECT_EQ(Feed(Message(0, "ServerError", "Oops")), V{"1019  0000 Oops"});
  EXPECT_EQ(Feed(Message(99, "Channel", "from nobody")), V{});  // an id we cannot name
  EXPECT_EQ(Feed(Leave(2)), V{"1003 alice 0002 [W2BN]"});
  uint64_t id = 0;
  EXPECT_FALSE(decoder.FindUser("ALICE", &id));
  EXPECT_EQ(Feed(Leave(2)), V{});  // a second leave of the same id says nothing
}

TEST_F(DecoderTest, LongTextsAndNamesAreCutToTheRecordSizes) {
  EnterChannel();
  const std::string name(200, 'n');
  Feed(UserUpdate(7, name));
  const std::string text(400, 't');
  Feed(Message(7, "Channel", text));
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(std::string(events[0].name), std::string(kNameSize - 1, 'n'));
  EXPECT_EQ(std::string(events[0].text), std::string(kTextSize - 1, 't'));
}

TEST_F(DecoderTest, MalformedMessagesAreRejectedWithoutChangingTheChannel) {
  EnterChannel();
  for (const char* bad : {"", "{", "[1,2]", "null", R"({"payload":{}})", R"({"command":5})",
                          R"({"command":"Botapichat.MessageEventRequest","payload":"x"})"}) {
    ApiDecoder::Kind kind = decoder.Decode(bad, 0, &events, &answer);
    EXPECT_TRUE(kind == ApiDecoder::Kind::kMalformed || events.empty()) << bad;
  }
  EXPECT_EQ(Feed(R"({"command":"Botapichat.SomethingNewEventRequest","payload":{}})"), V{});
  EXPECT_EQ(last, ApiDecoder::Kind::kUnknown);
  EXPECT_EQ(Feed(Message(2, "Channel", "still here")), V{"1005 alice 0002 still here"});
}

TEST_F(DecoderTest, InvalidUtf8IsRepairedNotDropped) {
  EnterChannel();
  EXPECT_EQ(Feed(Message(2, "Channel", "caf\xC3\xA9 \xFF\xC3 ok")), V{"1005 alice 0002 caf\xC3\xA9 ?? ok"});
  std::string out;
  EXPECT_FALSE(RepairUtf8("plain \xE2\x82\xAC", &out));
  EXPECT_TRUE(RepairUtf8("\xED\xA0\x80", &out));  // a surrogate
  EXPECT_EQ(out, "???");
  EXPECT_TRUE(RepairUtf8("\xF0\x9F\x98", &out));  // cut short
  EXPECT_EQ(out, "???");
}

TEST_F(DecoderTest, KickAndBanConfirmOnceByAnswerOrByTheLeave) {
  EnterChannel();
  decoder.Expect(10, RequestKind::kBan, "alice", 2);
  EXPECT_EQ(Feed(Answer("BanUserResponse", 10)), V{"1018  0000 alice was banned by TolvikBot."});
  EXPECT_TRUE(answer.known);
  EXPECT_EQ(Feed(Answer("BanUserResponse", 10)), V{});  // a repeated answer is not ours any more
  EXPECT_FALSE(answer.known);

  // The leave comes first: it confirms, and the answer after it adds nothing.
  decoder.Expect(11, RequestKind::kKick, "alice", 2);
  EXPECT_EQ(Feed(Leave(2)), (V{"1018  0000 alice was kicked out of the channel by TolvikBot.",
                               "1003 alice 0002 [W2BN]"}));
  EXPECT_EQ(Feed(Answer("KickUserResponse", 11)), V{});
  EXPECT_TRUE(answer.known);
}

TEST_F(DecoderTest, FailedAnswersBecomeErrorsWithTheStatus) {
  EnterChannel();
  decoder.Expect(20, RequestKind::kKick, "alice", 2);
  EXPECT_EQ(Feed(Answer("KickUserResponse", 20, 8, 2)), V{"1019  0000 Kick of alice failed: bad request (8/2)"});
  EXPECT_TRUE(answer.failed);
  decoder.Expect(21, RequestKind::kMessage);
  EXPECT_EQ(Feed(Answer("SendMessageResponse", 21, 6, 8)), V{"1019  0000 Message failed: rate limit exceeded (6/8)"});
  EXPECT_TRUE(answer.status.IsRateLimit());
  decoder.Expect(22, RequestKind::kUnban, "bob");
  EXPECT_EQ(Feed(Answer("UnbanUserResponse", 22)), V{"1018  0000 bob was unbanned by TolvikBot."});
  decoder.Expect(23, RequestKind::kDesignate, "alice", 2);
  EXPECT_EQ(Feed(Answer("SendSetModeratorResponse", 23)), V{"1018  0000 alice is your new designated heir."});
  decoder.Expect(24, RequestKind::kWhisper, "alice", 2);
  EXPECT_EQ(Feed(Answer("SendWhisperResponse", 24)), V{});  // a sent whisper needs no confirmation
  EXPECT_EQ(DescribeStatus({6, 5}), "request timed out (6/5)");
  EXPECT_EQ(DescribeStatus({8, 1}), "not connected to chat (8/1)");
  EXPECT_EQ(DescribeStatus({9, 9}), "request failed (9/9)");
}

TEST_F(DecoderTest, ANewChannelForgetsEveryoneButTheBot) {
  EnterChannel();
  Feed(kConnect);
  uint64_t id = 0;
  EXPECT_FALSE(decoder.FindUser("alice", &id));
  EXPECT_TRUE(decoder.FindUser("tolvikbot", &id));
  EXPECT_EQ(id, 1u);
  decoder.Reset();
  EXPECT_FALSE(decoder.FindUser("tolvikbot", &id));
  EXPECT_EQ(decoder.OwnName(), "");
}

}  // namespace
}  // namespace tolvik::api
