// The chat API's messages as event records, and request answers as the
// confirmations and errors the handlers read.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <map>
#include <random>
#include <string>
#include <thread>
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

// The forms the service's documentation and the service itself use, side by
// side: ids as numbers or digit strings, flag or flags, attribute or
// attributes as pairs in either case or as an object, request_id or requestId.
TEST_F(DecoderTest, IdsAreNumbersOrStringsOfDigits) {
  EnterChannel();
  const std::string join =
      R"({"command":"Botapichat.UserUpdateEventRequest","requestId":1,"payload":{"user_id":"7","toon_name":"bob",)"
      R"("flags":[],"attributes":[]}})";
  EXPECT_EQ(Feed(join, 5000), V{"1002 bob 0000 [CHAT]"});
  EXPECT_EQ(Feed(R"({"command":"Botapichat.MessageEventRequest","payload":{"user_id":"7","message":"hi","type":"Channel"}})"),
            V{"1005 bob 0000 hi"});
  EXPECT_EQ(Feed(R"({"command":"Botapichat.UserLeaveEventRequest","payload":{"user_id":"7"}})"), V{"1003 bob 0000 [CHAT]"});
  // Whatever is not a whole non-negative number is no id.
  for (const char* id : {R"("7a")", R"("")", R"("-7")", "-7", "7.5", "null", R"("99999999999999999999999")"}) {
    EXPECT_EQ(Feed(std::string(R"({"command":"Botapichat.UserLeaveEventRequest","payload":{"user_id":)") + id + "}}"),
              V{"1019  0000 Chat API protocol error: UserLeaveEventRequest without \"user_id\" was ignored"})
        << id;
    EXPECT_EQ(last, ApiDecoder::Kind::kMalformed);
  }
}

TEST_F(DecoderTest, FlagsAndAttributesInEveryForm) {
  EnterChannel();
  const std::string head = R"({"command":"Botapichat.UserUpdateEventRequest","payload":{"user_id":)";
  // The documentation's own form: flags and attributes, pairs with capitals.
  EXPECT_EQ(Feed(head + R"(3,"toon_name":"carol","flags":["Moderator","Speaker"],"attributes":[)"
                        R"({"Key":"ProgramId","Value":"D2XP"},{"Key":"Rate","Value":"1500"},)"
                        R"({"Key":"Rank","Value":"3"},{"Key":"Wins","Value":"42"}]}})",
                 5000),
            V{"1002 carol 0006 [D2XP]"});
  ApiDecoder::UserInfo info;
  ASSERT_TRUE(decoder.FindUserInfo("Carol", &info));
  EXPECT_EQ(info.id, 3u);
  EXPECT_EQ(info.program + "/" + info.rate + "/" + info.rank + "/" + info.wins, "D2XP/1500/3/42");
  // One flag as a plain name; attributes as an object, numbers as written.
  EXPECT_EQ(Feed(head + R"(3,"flag":"Admin","attribute":{"ProgramId":"WAR3","Rate":1510,"Wins":"43"}}})"),
            V{"1009 carol 0001 [WAR3]"});
  ASSERT_TRUE(decoder.FindUserInfo("carol", &info));
  EXPECT_EQ(info.program + "/" + info.rate + "/" + info.rank + "/" + info.wins, "WAR3/1510//43");
  // Lower-case pairs, unknown attributes and fields passed over.
  EXPECT_EQ(Feed(head + R"(3,"extra":{"deep":[1,{"x":null}]},"flags":[],"attributes":[{"key":"Clan","value":"x"},)"
                        R"({"key":"ProgramId","value":"STAR"},7,{"value":"W2BN"}],"more":true}})"),
            V{"1009 carol 0000 [STAR]"});
  // Of a key given twice, the last counts.
  EXPECT_EQ(Feed(head + R"(3,"flags":["Moderator"],"flag":[]}})"), V{});
}

TEST_F(DecoderTest, AnswersMatchUnderEitherRequestIdKey) {
  EnterChannel();
  decoder.Expect(30, RequestKind::kAuthenticate);
  EXPECT_EQ(Feed(R"({"command":"Botapiauth.AuthenticateResponse","requestId":30,"status":{"area":0,"code":0},"payload":{}})"),
            V{});
  EXPECT_EQ(last, ApiDecoder::Kind::kResponse);
  EXPECT_TRUE(answer.known);
  EXPECT_EQ(answer.kind, RequestKind::kAuthenticate);
  EXPECT_FALSE(answer.failed);
  decoder.Expect(31, RequestKind::kBan, "alice", 2);
  EXPECT_EQ(Feed(R"({"command":"Botapichat.BanUserResponse","requestId":"31","status":{"area":8,"code":2}})"),
            V{"1019  0000 Ban of alice failed: bad request (8/2)"});
  EXPECT_TRUE(answer.known);
  // Escaped keys are the same keys.
  decoder.Expect(32, RequestKind::kConnect);
  Feed(R"({"comm\u0061nd":"Botapichat.ConnectResponse","request\u005fid":32,"payload":{"note":"a \"quoted\" word"}})");
  EXPECT_TRUE(answer.known);
  EXPECT_EQ(answer.kind, RequestKind::kConnect);
}

// A message without a field its kind needs changes nothing and says so.
TEST_F(DecoderTest, AMissingRequiredFieldIsAReportedProtocolError) {
  EnterChannel();
  const std::string error = "1019  0000 Chat API protocol error: ";
  const std::pair<const char*, const char*> cases[] = {
      {R"({"command":"Botapichat.UserUpdateEventRequest","payload":{"toon_name":"alice","flags":[]}})",
       "UserUpdateEventRequest without \"user_id\" was ignored"},
      {R"({"command":"Botapichat.UserUpdateEventRequest","payload":{"user_id":9,"flags":["Admin"]}})",
       "UserUpdateEventRequest for a new user without \"toon_name\" was ignored"},
      {R"({"command":"Botapichat.UserLeaveEventRequest","payload":{}})",
       "UserLeaveEventRequest without \"user_id\" was ignored"},
      {R"({"command":"Botapichat.MessageEventRequest","payload":{"user_id":2,"message":"x"}})",
       "MessageEventRequest without \"type\" was ignored"},
      {R"({"command":"Botapichat.MessageEventRequest","payload":{"user_id":2,"type":"Channel"}})",
       "MessageEventRequest without \"message\" was ignored"},
      {R"({"command":"Botapichat.MessageEventRequest","payload":{"message":"x","type":"Whisper"}})",
       "MessageEventRequest without \"user_id\" was ignored"},
      {R"({"command":"Botapichat.ConnectEventRequest","payload":{"channel":5}})",
       "ConnectEventRequest without \"channel\" was ignored"},
      {R"({"command":"Botapichat.KickUserResponse","status":{"area":0,"code":0}})",
       "an answer without \"request_id\" was ignored"},
      {R"({"request_id":1,"payload":{}})", "a message without \"command\" was ignored"},
      {R"({"command":"Botapichat.MessageEventRequest")", "a message that is not a JSON object was ignored"},
  };
  for (const auto& [message, what] : cases) {
    EXPECT_EQ(Feed(message), V{error + what}) << message;
    EXPECT_EQ(last, ApiDecoder::Kind::kMalformed) << message;
  }
  EXPECT_EQ(Feed(Message(2, "Channel", "still here")), V{"1005 alice 0002 still here"});
  EXPECT_EQ(decoder.UsersForTest(), 2u);
}

TEST_F(DecoderTest, AStatusOnAnEventIsReadAndAFailureReported) {
  EnterChannel();
  const std::string talk = R"({"command":"Botapichat.MessageEventRequest","payload":{"user_id":2,"message":"hi","type":"Channel"},)";
  EXPECT_EQ(Feed(talk + R"("status":{"area":0,"code":0}})"), V{"1005 alice 0002 hi"});
  EXPECT_FALSE(answer.failed);
  EXPECT_EQ(Feed(talk + R"("status":{"area":8,"code":1}})"),
            (V{"1005 alice 0002 hi", "1019  0000 Chat API MessageEventRequest came with status: not connected to chat (8/1)"}));
  EXPECT_EQ(last, ApiDecoder::Kind::kEvent);
  EXPECT_TRUE(answer.failed);
  EXPECT_FALSE(answer.known);
  EXPECT_EQ(answer.status.area, 8);
  EXPECT_EQ(answer.status.code, 1);
}

TEST_F(DecoderTest, PendingRequestsPastTheCapDropTheOldest) {
  EnterChannel();
  const int64_t cap = static_cast<int64_t>(ApiDecoder::kMaxRequests);
  for (int64_t id = 1000; id < 1000 + cap; ++id) decoder.Expect(id, RequestKind::kWhisper, "alice", 2);
  Feed(Answer("SendWhisperResponse", 1000));  // at the cap: all still there
  EXPECT_TRUE(answer.known);
  decoder.Expect(5000, RequestKind::kWhisper, "alice", 2);
  decoder.Expect(5001, RequestKind::kWhisper, "alice", 2);  // one past the cap: 1001 goes
  Feed(Answer("SendWhisperResponse", 1001));
  EXPECT_FALSE(answer.known);
  for (int64_t id : {int64_t{1002}, 1000 + cap - 1, int64_t{5000}, int64_t{5001}}) {
    Feed(Answer("SendWhisperResponse", static_cast<int>(id)));
    EXPECT_TRUE(answer.known) << id;
  }
}

TEST_F(DecoderTest, TheUserTableStopsAtTheUserListsCap) {
  EnterChannel();  // the bot and alice
  const int cap = static_cast<int>(ApiDecoder::kMaxUsers);
  for (int id = 3; id <= cap; ++id) Feed(UserUpdate(id, "u" + std::to_string(id)));
  EXPECT_EQ(decoder.UsersForTest(), ApiDecoder::kMaxUsers);
  EXPECT_EQ(Feed(UserUpdate(cap + 1, "late")),
            V{"1019  0000 The channel has more users than Tolvik follows; newcomers are not listed"});
  EXPECT_EQ(Feed(UserUpdate(cap + 2, "later")), V{});  // said once
  EXPECT_EQ(decoder.UsersForTest(), ApiDecoder::kMaxUsers);
  Feed(Leave(3));
  EXPECT_EQ(Feed(UserUpdate(cap + 3, "next")), V{"1002 next 0000 [W2BN]"});
}

// The handlers know users by name; the API by id. A new name on an id, or an
// id taking a name another id holds, must leave the names consistent.
TEST_F(DecoderTest, RenamesAndSharedNamesFollowTheIds) {
  EnterChannel();
  EXPECT_EQ(Feed(UserUpdate(2, "alicia", R"(["Moderator"])")), (V{"1003 alice 0002 [W2BN]", "1002 alicia 0002 [W2BN]"}));
  uint64_t id = 0;
  EXPECT_FALSE(decoder.FindUser("alice", &id));
  ASSERT_TRUE(decoder.FindUser("alicia", &id));
  EXPECT_EQ(id, 2u);
  EXPECT_EQ(Feed(Message(2, "Channel", "new me")), V{"1005 alicia 0002 new me"});

  // A second id with a name already present: the newest id has it.
  EXPECT_EQ(Feed(UserUpdate(5, "ALICIA")), (V{"1003 alicia 0002 [W2BN]", "1002 ALICIA 0000 [W2BN]"}));
  EXPECT_EQ(Feed(Message(2, "Channel", "ghost")), V{});
  EXPECT_EQ(Feed(Leave(2)), V{});
  ASSERT_TRUE(decoder.FindUser("alicia", &id));
  EXPECT_EQ(id, 5u);
  // Renaming onto a name in use: the holder leaves, then the rename.
  Feed(UserUpdate(6, "dave"));
  EXPECT_EQ(Feed(UserUpdate(6, "alicia")),
            (V{"1003 ALICIA 0000 [W2BN]", "1003 dave 0000 [W2BN]", "1002 alicia 0000 [W2BN]"}));
  EXPECT_EQ(decoder.UsersForTest(), 2u);  // the bot and id 6

  // Another id cannot take the bot's name; the bot can change its own.
  EXPECT_EQ(Feed(UserUpdate(8, "tolvikbot")),
            V{"1019  0000 Chat API protocol error: another user id claims the bot's own name; ignored"});
  EXPECT_EQ(Feed(UserUpdate(1, "TolvikBot2")),
            (V{"1003 TolvikBot 0000 [W2BN]", "2010 TolvikBot2 0000 ", "1002 TolvikBot2 0000 [W2BN]"}));
  EXPECT_EQ(decoder.OwnName(), "TolvikBot2");
}

// Users come and go in every order, up to the cap: each one present is found
// by id (its talk is named) and by name in any case, and none that left is.
TEST_F(DecoderTest, EveryUserStaysFoundThroughAnyOrderOfComingsAndGoings) {
  EnterChannel();  // the bot (1) and alice (2)
  std::map<int, std::string> present{{1, "TolvikBot"}, {2, "alice"}};
  std::map<int, std::string> gone;
  auto join = [&](int id, const std::string& name) {
    Feed(UserUpdate(id, name), 5000);
    present[id] = name;
    gone.erase(id);
  };
  auto leave = [&](int id) {
    Feed(Leave(id));
    gone[id] = present[id];
    present.erase(id);
  };
  auto check = [&](const char* when) {
    ASSERT_EQ(decoder.UsersForTest(), present.size()) << when;
    for (const auto& [id, name] : present) {
      std::string upper = name;
      for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      uint64_t found = 0;
      ASSERT_TRUE(decoder.FindUser(upper, &found)) << when << name;
      ASSERT_EQ(found, static_cast<uint64_t>(id)) << when << name;
      ASSERT_EQ(Feed(Message(id, "Channel", "hi")), V{"1005 " + name + (id == 2 ? " 0002 hi" : " 0000 hi")}) << when;
    }
    for (const auto& [id, name] : gone) {
      ASSERT_EQ(Feed(Message(id, "Channel", "hi")), V{}) << when << name;
      uint64_t found = 0;
      if (decoder.FindUser(name, &found)) {
        ASSERT_NE(found, static_cast<uint64_t>(id)) << when << name;
      }
    }
  };
  // Rounds of random ids: the table filled to its cap, a random part
  // leaving in random order, newcomers (some with the names of those who
  // left) taking their room; enough rounds that leaves fall everywhere.
  const size_t cap = ApiDecoder::kMaxUsers;
  std::mt19937 random(24);
  int named = 0;
  for (int round = 0; round < 30; ++round) {
    gone.clear();
    while (present.size() < cap) {
      const int id = static_cast<int>(random() % 2000000000) + 3;
      if (present.count(id) != 0) continue;
      join(id, "u" + std::to_string(++named));
    }
    check("full");
    std::vector<int> ids;
    for (const auto& [id, name] : present)
      if (id > 2) ids.push_back(id);
    std::shuffle(ids.begin(), ids.end(), random);
    ids.resize(ids.size() * 2 / 5);
    for (int id : ids) leave(id);
    check("thinned");
    for (size_t k = 0; k < ids.size() / 4; ++k) join(ids[k] + 1, gone[ids[k]]);
  }
  // Records are written over the longer ones the vector held before.
  Feed(Message(2, "Channel", std::string(200, 'x')));
  EXPECT_EQ(Feed(Message(2, "Channel", "short")), V{"1005 alice 0002 short"});
}

// The sending thread looks users up and records requests while the reading
// thread decodes joins, renames, talk and leaves (run under ThreadSanitizer
// too, which sees any access the lock does not cover).
TEST_F(DecoderTest, LookupsFromTheSendingThreadMeanwhileStayConsistent) {
  EnterChannel();
  std::atomic<bool> done{false};
  std::atomic<long> found_wrong{0};
  std::thread sender([&] {
    int64_t request = 1;
    while (!done.load()) {
      uint64_t id = 0;
      if (decoder.FindUser("stayer", &id) && id != 3) ++found_wrong;
      ApiDecoder::UserInfo info;
      if (decoder.FindUserInfo("mover", &info) && info.id != 4) ++found_wrong;
      if (decoder.OwnName() != "TolvikBot") ++found_wrong;
      decoder.Expect(request++, RequestKind::kKick, "mover", 4);
    }
  });
  Feed(UserUpdate(3, "stayer"), 5000);
  for (int round = 0; round < 3000; ++round) {
    Feed(UserUpdate(4, round % 2 == 0 ? "mover" : "moving"));
    Feed(UserUpdate(100 + round % 50, "guest" + std::to_string(round % 50)));
    Feed(Message(3, "Channel", "still here"));
    Feed(Leave(100 + (round + 25) % 50));
    Feed(Leave(4));
  }
  done = true;
  sender.join();
  EXPECT_EQ(found_wrong.load(), 0);
  uint64_t id = 0;
  ASSERT_TRUE(decoder.FindUser("stayer", &id));
  EXPECT_EQ(id, 3u);
}

// "alice evil" must never be mistaken for alice: such names are shown but
// can be found by no name.
TEST_F(DecoderTest, NamesACommandCannotCarryAreShownButNeverFoundByName) {
  EnterChannel();
  EXPECT_EQ(Feed(UserUpdate(3, "alice evil"), 5000), V{"1002 alice evil 0000 [W2BN]"});
  EXPECT_FALSE(NameCarriable(events[0].name));
  uint64_t id = 0;
  ASSERT_TRUE(decoder.FindUser("alice", &id));
  EXPECT_EQ(id, 2u);
  EXPECT_FALSE(decoder.FindUser("alice evil", &id));
  ApiDecoder::UserInfo info;
  ASSERT_TRUE(decoder.FindUserInfo("alice evil", &info));
  EXPECT_FALSE(info.carriable);

  EXPECT_TRUE(NameCarriable("alice"));
  EXPECT_TRUE(NameCarriable("\xC3\xA9lise[x]"));
  for (const char* name : {"", "a\tb", "a\x7F", "a\x01", "a\rb", "a\nb"}) EXPECT_FALSE(NameCarriable(name)) << name;
  // A record holds kNameSize - 1 bytes of a name: one that fills it may have been cut.
  EXPECT_TRUE(NameCarriable(std::string(kNameSize - 2, 'n')));
  EXPECT_FALSE(NameCarriable(std::string(kNameSize - 1, 'n')));
  Feed(UserUpdate(4, std::string(kNameSize + 10, 'n')));
  ASSERT_EQ(events.size(), 1u);
  EXPECT_FALSE(NameCarriable(events[0].name));
  EXPECT_FALSE(decoder.FindUser(std::string(kNameSize + 10, 'n'), &id));
}

// Whole ASCII blocks are skipped before the bytes are checked one by one:
// a fault at any place in or after a block is still found and repaired.
TEST_F(DecoderTest, Utf8RepairIsTheSameWhereverTheFaultIs) {
  for (size_t at = 0; at < 20; ++at) {
    std::string text(20, 'a');
    text[at] = '\xFF';
    std::string out;
    ASSERT_TRUE(RepairUtf8(text, &out)) << at;
    std::string want(20, 'a');
    want[at] = '?';
    EXPECT_EQ(out, want) << at;
  }
  std::string out;
  EXPECT_FALSE(RepairUtf8("eight ch\xC3\xA9 and more ascii", &out));
  EXPECT_TRUE(RepairUtf8("eight ch\xC3\xA9\xE2\x82 x", &out));
  EXPECT_EQ(out, "eight ch\xC3\xA9?? x");
  // A message with a fault is repaired, not dropped.
  EnterChannel();
  EXPECT_EQ(Feed(Message(2, "Channel", std::string(40, 'x') + "\xC0\xAF")), V{"1005 alice 0002 " + std::string(40, 'x') + "??"});
}

}  // namespace
}  // namespace tolvik::api
