// The outgoing queue's lines as chat API requests, and what is refused locally.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "net/api/api_requests.h"
#include "net/api/api_url.h"

namespace tolvik::api {
namespace {

using nlohmann::json;

class TranslateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<ChatEvent> events;
    ApiDecoder::Answer answer;
    for (const char* m : {R"({"command":"Botapichat.UserUpdateEventRequest","payload":{"user_id":1,"toon_name":"Bot"}})",
                          R"({"command":"Botapichat.ConnectEventRequest","payload":{"channel":"Home"}})",
                          R"({"command":"Botapichat.UserUpdateEventRequest","payload":{"user_id":42,"toon_name":"Alice"}})"})
      channel.Decode(m, 0, &events, &answer);
  }
  // The request for `line` as JSON (null when refused).
  json Request(const std::string& line) {
    last = TranslateLine(line, 7, channel);
    return last.ok ? json::parse(last.request) : json();
  }
  ApiDecoder channel;
  Translation last;
};

TEST_F(TranslateTest, PlainTextAndEmotes) {
  json r = Request("hello there");
  EXPECT_EQ(r["command"], "Botapichat.SendMessageRequest");
  EXPECT_EQ(r["request_id"], 7);
  EXPECT_EQ(r["payload"]["message"], "hello there");
  for (const char* line : {"/me waves", "/EMOTE waves"}) {
    r = Request(line);
    EXPECT_EQ(r["command"], "Botapichat.SendEmoteRequest") << line;
    EXPECT_EQ(r["payload"]["message"], "waves") << line;
  }
}

TEST_F(TranslateTest, WhispersGoToTheUsersIdWhateverTheCommandsSpelling) {
  for (const char* line : {"/w alice hi you", "/m ALICE hi you", "/msg alice hi you", "/whisper  alice  hi you"}) {
    json r = Request(line);
    ASSERT_TRUE(last.ok) << line;
    EXPECT_EQ(r["command"], "Botapichat.SendWhisperRequest") << line;
    EXPECT_EQ(r["payload"]["user_id"], 42) << line;
    EXPECT_EQ(r["payload"]["message"], "hi you") << line;
  }
  Request("/w alice");
  EXPECT_FALSE(last.ok);
  EXPECT_EQ(last.error, "Nothing to whisper to alice.");
}

TEST_F(TranslateTest, ModerationByIdAndUnbanByName) {
  json r = Request("/kick alice spamming");
  EXPECT_EQ(r["command"], "Botapichat.KickUserRequest");
  EXPECT_EQ(r["payload"], (json{{"user_id", 42}}));  // no reason over the API
  EXPECT_EQ(last.kind, RequestKind::kKick);
  EXPECT_EQ(last.target_id, 42u);
  r = Request("/ban Alice You are auto-banned from this channel!");
  EXPECT_EQ(r["command"], "Botapichat.BanUserRequest");
  EXPECT_EQ(r["payload"], (json{{"user_id", 42}}));
  r = Request("/designate alice");
  EXPECT_EQ(r["command"], "Botapichat.SendSetModeratorRequest");
  EXPECT_EQ(r["payload"], (json{{"user_id", 42}}));
  r = Request("/unban gone_user");  // banned users are not in the channel
  EXPECT_EQ(r["command"], "Botapichat.UnbanUserRequest");
  EXPECT_EQ(r["payload"], (json{{"toon_name", "gone_user"}}));
}

TEST_F(TranslateTest, AbsentNamesAndMissingCommandsAreRefusedLocally) {
  Request("/kick nobody");
  EXPECT_FALSE(last.ok);
  EXPECT_EQ(last.error, "nobody is not logged on in this channel.");
  EXPECT_TRUE(last.error_answers);
  Request("/ban");
  EXPECT_EQ(last.error, "/ban needs a user name.");
  EXPECT_TRUE(last.error_answers);
  for (const char* cmd : {"/join", "/who", "/whois", "/stats", "/time", "/away", "/rejoin", "/"}) {
    Request(std::string(cmd) + " x");
    EXPECT_FALSE(last.ok) << cmd;
    EXPECT_EQ(last.error, std::string(cmd) + " is not available over the chat API.");
    EXPECT_FALSE(last.error_answers) << cmd;
  }
}

TEST_F(TranslateTest, BytesThatAreNotUtf8StillMakeValidJson) {
  json r = Request("bad \xFF byte");
  EXPECT_EQ(r["payload"]["message"], "bad \xEF\xBF\xBD byte");
}

// A text goes out as the text gateway would take it: no control character
// (C0, DEL, C1 as UTF-8), and no longer than its line, cut between characters.
TEST_F(TranslateTest, MessagesLoseControlCharactersAndKeepToTheGatewaysLength) {
  const std::string at(kLongestMessage, 'a');
  EXPECT_EQ(Request(at)["payload"]["message"], at);
  EXPECT_EQ(Request(at + "b")["payload"]["message"], at);
  const std::string short_by_one(kLongestMessage - 1, 'a');
  EXPECT_EQ(Request(short_by_one + "\xC3\xA9")["payload"]["message"], short_by_one);  // "é" would end past it
  const std::string short_by_two(kLongestMessage - 2, 'a');
  EXPECT_EQ(Request(short_by_two + "\xC3\xA9")["payload"]["message"], short_by_two + "\xC3\xA9");
  EXPECT_EQ(Request(std::string(10, '\x07') + at)["payload"]["message"], at);  // removed before the cut
  EXPECT_EQ(Request("/me a\tb\x1b[31mc\x7F\xC2\x9B" "d\xC2\xA0" "e")["payload"]["message"],
            "ab[31mcd\xC2\xA0" "e");
  EXPECT_EQ(Request("/w alice hi\x01 there")["payload"]["message"], "hi there");
  Request("/w alice \x01\x02");
  EXPECT_FALSE(last.ok);
  EXPECT_EQ(last.error, "Nothing to whisper to alice.");
}

TEST(ApiRequests, LoginAndDisconnect) {
  json a = json::parse(AuthenticateRequest(1, "k\"ey"));
  EXPECT_EQ(a, (json{{"command", "Botapiauth.AuthenticateRequest"}, {"request_id", 1}, {"payload", {{"api_key", "k\"ey"}}}}));
  EXPECT_EQ(json::parse(ConnectRequest(2))["command"], "Botapichat.ConnectRequest");
  json d = json::parse(DisconnectRequest(3));
  EXPECT_EQ(d["command"], "Botapichat.DisconnectRequest");
  EXPECT_TRUE(d["payload"].is_object());
}

TEST(ApiUrlTest, WssValuesSplitAndOthersAreNotTheApi) {
  ApiUrl url;
  ASSERT_TRUE(ParseApiUrl("wss://connect-bot.classic.example.com/v1/rpc/chat", &url));
  EXPECT_EQ(url.host, "connect-bot.classic.example.com");
  EXPECT_EQ(url.port, 443);
  EXPECT_EQ(url.path, "/v1/rpc/chat");
  EXPECT_EQ(url.HostHeader(), "connect-bot.classic.example.com");
  ASSERT_TRUE(ParseApiUrl("WSS://127.0.0.1:65535", &url));
  EXPECT_EQ(url.port, 65535);
  EXPECT_EQ(url.path, "/");
  EXPECT_EQ(url.HostHeader(), "127.0.0.1:65535");
  ASSERT_TRUE(ParseApiUrl("wss://[::1]:8443/x", &url));
  EXPECT_EQ(url.host, "::1");
  EXPECT_EQ(url.HostHeader(), "[::1]:8443");
  for (const char* bad : {"wss://", "wss://host:65536/", "wss://host:0", "wss://host:/", "wss://[::1/x",
                          "wss://ho st/", "ws://host/", "useast.example.net", "wss://host/a b"})
    EXPECT_FALSE(ParseApiUrl(bad, &url)) << bad;
  EXPECT_TRUE(IsApiServer("Wss://x"));
  EXPECT_FALSE(IsApiServer("127.0.0.1:6112"));
  EXPECT_FALSE(IsApiServer(nullptr));
}

}  // namespace
}  // namespace tolvik::api
