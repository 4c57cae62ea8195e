// Automatic responses: the name rules, the phrase/response values, the
// tables' loading limit, and talk and emote events in logged-in sessions.
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "settings/font_records.h"
#include "bot/responses.h"
#include "support/recording_display.h"
#include "support/session_fixture.h"
#include "support/temp_dir.h"

namespace tolvik {
namespace {

using namespace std::chrono_literals;

TEST(ResponseNameTest, PlainPatternIsCaseFreeAtTheSameLengthAndExactInside) {
  EXPECT_TRUE(ResponseNameMatches("Bob", "bob"));
  EXPECT_TRUE(ResponseNameMatches("Bob", "BOB"));
  EXPECT_TRUE(ResponseNameMatches("Bob", "xBobby"));
  EXPECT_FALSE(ResponseNameMatches("Bob", "bobby"));
  EXPECT_FALSE(ResponseNameMatches("Bob", "Bo"));
  // Enclosed in asterisks: the same rule.
  EXPECT_TRUE(ResponseNameMatches("*Bob*", "bob"));
  EXPECT_TRUE(ResponseNameMatches("*Bob*", "xxBobxx"));
  EXPECT_FALSE(ResponseNameMatches("*Bob*", "xxbobxx"));
}

TEST(ResponseNameTest, TrailingAsteriskIsACaseFreePrefix) {
  EXPECT_TRUE(ResponseNameMatches("f*", "fred"));
  EXPECT_TRUE(ResponseNameMatches("f*", "Frank"));
  EXPECT_TRUE(ResponseNameMatches("f*", "f"));
  EXPECT_FALSE(ResponseNameMatches("f*", "alf"));
  EXPECT_TRUE(ResponseNameMatches("Bob*", "BOBBY"));
  EXPECT_FALSE(ResponseNameMatches("Bob*", "Bo"));
}

TEST(ResponseNameTest, LeadingAsteriskDropsTheNamesCharacterAtThePatternLength) {
  EXPECT_TRUE(ResponseNameMatches("*Bob", "bob"));     // nothing to drop
  EXPECT_TRUE(ResponseNameMatches("*Bob", "Bobx"));    // "Bob" once x is gone
  EXPECT_TRUE(ResponseNameMatches("*Bob", "BOBx"));    // same length: any case
  EXPECT_FALSE(ResponseNameMatches("*Bob", "xBob"));   // leaves "xBo"
  EXPECT_FALSE(ResponseNameMatches("*Bob", "aaBob"));  // leaves "aaBb"
  EXPECT_TRUE(ResponseNameMatches("*Bob", "BobxBob"));  // "BobBob" contains Bob
  EXPECT_TRUE(ResponseNameMatches("*b", "bx"));
  EXPECT_FALSE(ResponseNameMatches("*b", "xb"));  // leaves "x"
}

TEST(ResponseNameTest, StarAloneMatchesAllAndDoubledStarsAreLiteral) {
  EXPECT_TRUE(ResponseNameMatches("*", "anyone"));
  EXPECT_TRUE(ResponseNameMatches("*", ""));
  EXPECT_TRUE(ResponseNameMatches("**x", "a**x"));
  EXPECT_FALSE(ResponseNameMatches("**x", "ax"));
  EXPECT_FALSE(ResponseNameMatches("x**", "xy"));
  EXPECT_TRUE(ResponseNameMatches("x**", "ax**"));
  // One character without an asterisk: the usual comparison.
  EXPECT_TRUE(ResponseNameMatches("a", "A"));
  EXPECT_TRUE(ResponseNameMatches("a", "bab"));
  EXPECT_FALSE(ResponseNameMatches("a", "BAB"));
}

TEST(GreetingNameTest, ExactStarPrefixSuffixAndInfix) {
  EXPECT_TRUE(GreetingNameMatches("bob", "BOB"));
  EXPECT_FALSE(GreetingNameMatches("bob", "bobby"));
  EXPECT_TRUE(GreetingNameMatches("*", "anyone"));
  EXPECT_TRUE(GreetingNameMatches("bo*", "BOBBY"));
  EXPECT_FALSE(GreetingNameMatches("bo*", "abob"));
  EXPECT_TRUE(GreetingNameMatches("*by", "BOBBY"));
  EXPECT_TRUE(GreetingNameMatches("*by", "abbey-by"));
  EXPECT_FALSE(GreetingNameMatches("*by", "bobbyx"));
  EXPECT_TRUE(GreetingNameMatches("*ob*", "Bobby"));
  EXPECT_FALSE(GreetingNameMatches("*OB*", "Bobby"));  // the infix keeps its case
  EXPECT_FALSE(GreetingNameMatches("**", "ab"));
}

TEST(ResponsePairsTest, ColonsSeparateAndDoubledColonsAreLiteral) {
  using Pairs = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(ResponsePairs("hi:Hello there:bye:See you"), (Pairs{{"hi", "Hello there"}, {"bye", "See you"}}));
  EXPECT_EQ(ResponsePairs("!time::now:It is late"), (Pairs{{"!time:now", "It is late"}}));
  // A response beginning with a colon is written after a space.
  EXPECT_EQ(ResponsePairs("smile: ::-)"), (Pairs{{"smile", ":-)"}}));
  EXPECT_EQ(ResponsePairs("a: b"), (Pairs{{"a", " b"}}));  // only " :" loses its space
  // Empty items are skipped; a phrase without a response ends the list.
  EXPECT_EQ(ResponsePairs("::a::b:::x::"), (Pairs{{":a:b:", "x:"}}));
  EXPECT_EQ(ResponsePairs("a::b"), Pairs{});
  EXPECT_EQ(ResponsePairs("q1:r1:lonely"), (Pairs{{"q1", "r1"}}));
  EXPECT_EQ(ResponsePairs("\n"), Pairs{});
  EXPECT_EQ(ResponsePairs(""), Pairs{});
}

TEST(ResponseTableTest, LoadsAtMost128NamesCutTo19) {
  testing::TempDir dir;
  testing::RecordingDisplay display;
  std::string ini = "[AutoRespond]\r\n";
  for (int i = 0; i < 130; ++i) ini += "name" + std::to_string(i) + "=hi:hello\r\n";
  ini += "[AutoGreet]\r\naveryveryverylongpattern=hi\r\nwe==ird=x\r\n; comment=1\r\n";
  dir.write("Bot.ini", ini);

  ResponseTable respond("AutoRespond");
  EXPECT_EQ(respond.Load(dir.file("Bot.ini"), &display), 128);
  EXPECT_EQ(respond.name(0), "name0");
  EXPECT_EQ(respond.name(127), "name127");
  EXPECT_EQ(display.texts(), std::vector<std::string>{"Error:  Limit of 128 response names exceeded"});

  ResponseTable greet("AutoGreet");
  EXPECT_EQ(greet.Load(dir.file("Bot.ini"), &display), 2);
  EXPECT_EQ(greet.name(0), "averyveryverylongpa");
  EXPECT_EQ(greet.name(1), "we=ird");
  EXPECT_EQ(display.texts().size(), 1u);

  ResponseTable missing("AutoPart");
  EXPECT_EQ(missing.Load(dir.file("Bot.ini"), &display), 0);
  EXPECT_EQ(missing.Load(dir.file("none.ini"), &display), 0);
}

// ---- Sessions ----

class ResponsesTest : public testing::SessionTest {
 protected:
  void Start(const std::string& ini, const std::string& users = "") {
    WriteBotIni(ini);
    if (!users.empty()) dir.write("users.lst", users);
    Open();
    LogIn();
    ASSERT_TRUE(WaitSent("/time\n"));
  }
  // Plays server lines and waits until the bot has handled them and what it
  // queued meanwhile has reached the gateway.
  void Play(const std::string& lines) {
    const std::string mark = "[sync " + std::to_string(++syncs_) + "]";
    gateway.send(lines + "1018 INFO \"" + mark + "\"\r\n");
    ASSERT_TRUE(WaitShown(mark));
    Bot().Queue().Say("%s\n", mark.c_str());
    ASSERT_TRUE(WaitSent(mark + "\n"));
  }
  // The lines the bot said after the join message, without the sync marks.
  std::vector<std::string> Said() {
    std::vector<std::string> lines = gateway.receivedLines();
    std::vector<std::string> out;
    size_t i = 0;
    while (i < lines.size() && lines[i] != "/time") ++i;
    for (++i; i < lines.size(); ++i)
      if (lines[i].rfind("[sync", 0) != 0) out.push_back(lines[i]);
    return out;
  }
  ChatBot& Bot() { return doc->Bot(); }

 private:
  int syncs_ = 0;
};

TEST_F(ResponsesTest, PatternsAnswerPhrasesThatAreTheWholeLine) {
  Start("[AutoRespond]\r\nBob=hi:hello\r\n*=!time::now:It is late\r\nf*=hi:hi f\r\n*Bob=yo:yo there\r\n");
  Play("1005 TALK bob 0000 \"HI\"\r\n"
       "1005 TALK Bobby 0000 \"hi\"\r\n"
       "1005 TALK bobby 0000 \"hi\"\r\n"
       "1005 TALK fred 0000 \"hi there\"\r\n"
       "1005 TALK anyone 0000 \"!time:now\"\r\n"
       "1005 TALK Bobx 0000 \"yo\"\r\n"
       "1005 TALK xBob 0000 \"yo\"\r\n");
  // bob (same length, any case) and Bobby (contains Bob) get hello, bobby
  // nothing; "hi there" is not the phrase hi; Bobx loses its x for *Bob,
  // xBob its b.
  EXPECT_EQ(Said(), (std::vector<std::string>{"hello", "hello", "It is late", "yo there"}));
  EXPECT_TRUE(display.contains("<bob> HI"));
}

TEST_F(ResponsesTest, EverySlotThatMatchesAnswersInFileOrder) {
  Start("[AutoRespond]\r\nb*=ping:first\r\n*=ping:second\r\nbob=ping:third:ping:fourth\r\n");
  Play("1005 TALK bob 0000 \"PING\"\r\n");
  EXPECT_EQ(Said(), (std::vector<std::string>{"first", "second", "third", "fourth"}));
}

TEST_F(ResponsesTest, TextsAreReadAtEachMatchButNamesOnlyOnReload) {
  Start("[AutoRespond]\r\n*=hi:one\r\n");
  Play("1005 TALK bob 0000 \"hi\"\r\n");
  WriteBotIni("[AutoRespond]\r\n*=hi:two\r\nbob=hi:three\r\n");
  Play("1005 TALK bob 0000 \"hi\"\r\n");
  doc->ReloadBotIni();
  Play("1005 TALK bob 0000 \"hi\"\r\n");
  EXPECT_EQ(Said(), (std::vector<std::string>{"one", "two", "two", "three"}));
}

TEST_F(ResponsesTest, LimitOf128NamesIsReportedAtEveryLoad) {
  std::string ini = "[AutoRespond]\r\n";
  // Names of one length, so that no pattern is found inside another name.
  for (int i = 0; i < 130; ++i) {
    char name[8];
    std::snprintf(name, sizeof name, "u%03d", i);
    ini += std::string(name) + "=hi:hello " + std::to_string(i) + "\r\n";
  }
  Start(ini);
  int reports = 0;
  for (const auto& line : display.texts()) reports += line == "Error:  Limit of 128 response names exceeded";
  EXPECT_EQ(reports, 1);
  Play("1005 TALK u127 0000 \"hi\"\r\n1005 TALK u129 0000 \"hi\"\r\n");
  EXPECT_EQ(Said(), std::vector<std::string>{"hello 127"});  // the 130th name is not loaded
  doc->ReloadBotIni();
  reports = 0;
  for (const auto& line : display.texts()) reports += line == "Error:  Limit of 128 response names exceeded";
  EXPECT_EQ(reports, 2);
}

TEST_F(ResponsesTest, TalkOrderCommandsThenTalkScriptThenHookThenResponses) {
  std::filesystem::create_directory(dir.path() / "scripts");
  dir.write("scripts/word.tcl", "BnetSend \"word $speaker $data\"\n");
  dir.write("scripts/talk.tcl", "BnetSend \"talk $speaker $action\"\n");
  dir.write("script.ini", "[Talk]\r\n!seen=scripts/word.tcl\r\n[Events]\r\nOnTalk=scripts/talk.tcl\r\n");
  Start("[AutoRespond]\r\n*=!seen bob:not here\r\n[Commands]\r\nAutoKick=5\r\n", "[Level5]\r\nmod\r\n");
  Bot().SetOperator(true);
  Play("1005 TALK mod 0000 \"!seen bob\"\r\n1005 TALK mod 0000 \".autokick\"\r\n");
  EXPECT_EQ(Said(), (std::vector<std::string>{"word mod bob", "talk mod !seen", "not here", "AutoKick now ON",
                                              "talk mod .autokick"}));
  EXPECT_TRUE(display.contains("Script: !seen"));
  EXPECT_FALSE(display.contains("Script: OnTalk"));  // the OnTalk hook runs without a line

  // Auto-responder off: talk is shown and the talk commands run, nothing else.
  doc->GetToggles().AutoRespond.state = false;
  Play("1005 TALK mod 0000 \"!seen bob\"\r\n1005 TALK mod 0000 \".autokick\"\r\n");
  EXPECT_EQ(Said().size(), 6u);
  EXPECT_EQ(Said().back(), "AutoKick now OFF");
}

TEST_F(ResponsesTest, EmotesAnswerBeforeTheirScript) {
  std::filesystem::create_directory(dir.path() / "scripts");
  dir.write("scripts/emote.tcl", "BnetSend \"emote $speaker $action\"\n");
  dir.write("script.ini", "[Events]\r\nOnEmote=scripts/emote.tcl\r\n");
  Start("[AutoRespondToEmote]\r\n*=waves:waves back\r\n[AutoRespond]\r\n*=waves:wrong table\r\n");
  Play("1023 EMOTE bob 0000 \"waves\"\r\n");
  EXPECT_EQ(Said(), (std::vector<std::string>{"waves back", "emote bob waves"}));
  EXPECT_TRUE(display.contains("<bob waves>"));
  EXPECT_TRUE(display.contains("Script: OnEmote"));
}

TEST_F(ResponsesTest, TalkFormatPrefersTheUsersOwnHighlight) {
  Start("");
  ChatBot& bot = Bot();
  TextFormats formats{};
  for (int i = 0; i < kTextTypeCount; ++i) formats[i].colour = static_cast<uint32_t>(i + 1);
  display.setFormats(formats);
  TextFormat own = display.format(TextType::OthersText);
  own.colour = 0x123456;
  ASSERT_TRUE(SaveHighlightFormat(doc->Paths().botIni, "marked", own));
  Play("1001 USER picked 0000 [STAR]\r\n1001 USER marked 0000 [STAR]\r\n");
  bot.Users().setSelected(bot.Users().findUser("picked"), true);
  bot.Users().setSelected(bot.Users().findUser("marked"), true);
  Play("1005 TALK picked 0000 \"one\"\r\n1005 TALK marked 0000 \"two\"\r\n1005 TALK other 0000 \"three\"\r\n");
  doc->GetToggles().HighlightUsers.state = false;
  Play("1005 TALK picked 0000 \"four\"\r\n");

  auto format_of = [&](const std::string& text) {
    for (const auto& line : display.lines())
      if (line.text == text) return line.format;
    ADD_FAILURE() << text << " not shown";
    return TextFormat{};
  };
  EXPECT_EQ(format_of("<picked> one").colour, 1u + TextTypeIndex(TextType::Highlighted));
  EXPECT_EQ(format_of("<marked> two").colour, 0x123456u);
  EXPECT_EQ(format_of("<other> three").colour, 1u + TextTypeIndex(TextType::OthersText));
  EXPECT_EQ(format_of("<picked> four").colour, 1u + TextTypeIndex(TextType::OthersText));
}

}  // namespace
}  // namespace tolvik
