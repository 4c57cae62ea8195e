#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/line_reader.h"
#include "support/recording_connection.h"

namespace tolvik {
namespace {

using testing::RecordingConnection;

std::vector<std::string> Cut(LineReader& r, const std::string& chunk) {
  std::vector<std::string> lines;
  r.feed(chunk.data(), chunk.size(), [&](char* line) { lines.emplace_back(line); });
  return lines;
}

TEST(LineReader, KeepsAnUnfinishedLineForTheNextRead) {
  LineReader r;
  EXPECT_EQ(Cut(r, "1005 TALK A 0000 \"hel"), std::vector<std::string>{});
  EXPECT_EQ(Cut(r, "lo\"\r\n1003 LE"), std::vector<std::string>{"1005 TALK A 0000 \"hello\"\r"});
  EXPECT_EQ(Cut(r, "AVE A 0000\r\n"), std::vector<std::string>{"1003 LEAVE A 0000\r"});
  EXPECT_EQ(r.held(), 0u);
}

// The longest line that fits is passed on; one byte more and the whole line
// is dropped, however many reads its tail takes, and nothing of it survives.
TEST(LineReader, OverLongLinesAreDroppedWhole) {
  LineReader r;
  const std::string longest(LineReader::kMaxLineLength, 'x');
  EXPECT_EQ(Cut(r, longest + "\n"), std::vector<std::string>{longest});
  EXPECT_FALSE(r.discarding());

  EXPECT_TRUE(Cut(r, longest + "y").empty());
  EXPECT_TRUE(r.discarding());
  EXPECT_EQ(r.held(), 0u);
  EXPECT_EQ(Cut(r, "\nok\n"), std::vector<std::string>{"ok"});
  EXPECT_FALSE(r.discarding());

  // A 5000-byte line in one piece, then a 9000-byte line arriving in small
  // reads: neither leaves a tail behind, and the lines after them are whole.
  EXPECT_EQ(Cut(r, std::string(5000, 'y') + "\r\nnext\r\n"), std::vector<std::string>{"next\r"});
  for (int i = 0; i < 90; ++i) EXPECT_TRUE(Cut(r, std::string(100, 'z')).empty());
  EXPECT_EQ(Cut(r, "zz\nafter\n"), std::vector<std::string>{"after"});
  EXPECT_EQ(r.held(), 0u);
}

// The reset of a new connection also ends the discarding of the old one's line.
TEST(LineReader, ResetEndsDiscarding) {
  LineReader r;
  EXPECT_TRUE(Cut(r, std::string(LineReader::kBufferSize, 'x')).empty());
  ASSERT_TRUE(r.discarding());
  r.reset();
  EXPECT_EQ(Cut(r, "fresh\n"), std::vector<std::string>{"fresh"});
}

TEST(LineReader, EmptyAndNulLinesAreStillLines) {
  LineReader r;
  auto lines = Cut(r, std::string("\r\n\n a\0b\n", 8));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "\r");
  EXPECT_EQ(lines[1], "");
  EXPECT_EQ(lines[2], " a");  // the handler sees a C string: cut at NUL
}

TEST(ChatConnectionLines, EventLinesKeepTheirCrAndRawLinesAreWrapped) {
  RecordingConnection conn;
  std::string chunk = "1005 TALK Ann 0000 \"hi\"\r\nHello\r\n1005 TALK Bob 0000 \"unterminated";
  conn.ProcessBytes(chunk.data(), chunk.size());
  ASSERT_EQ(conn.calls.size(), 2u);
  EXPECT_EQ(conn.calls[0].handler, "OnTalk");
  EXPECT_EQ(conn.calls[0].text, "hi");
  EXPECT_EQ(conn.calls[1].handler, "OnRawLine");
  EXPECT_EQ(conn.calls[1].text, "Hello");
  EXPECT_EQ(conn.event_lines, 1);

  // The unterminated event line completes with the next read.
  conn.ProcessBytes(" word\"\r\n", 8);
  ASSERT_EQ(conn.calls.size(), 3u);
  EXPECT_EQ(conn.calls[2].name, "Bob");
  EXPECT_EQ(conn.calls[2].text, "unterminated word");
}

TEST(ChatConnectionLines, RawLinesKeepInnerQuotesAndStayBounded) {
  RecordingConnection conn;
  std::string chunk = "He said \"go\" now\r\n\r\n" + std::string(3000, 'z') + "\r\n";
  conn.ProcessBytes(chunk.data(), chunk.size());
  ASSERT_EQ(conn.calls.size(), 3u);
  EXPECT_EQ(conn.calls[0].text, "He said \"go\" now");
  EXPECT_EQ(conn.calls[1].handler, "OnRawLine");
  EXPECT_EQ(conn.calls[1].text, "");
  EXPECT_EQ(conn.calls[2].text, std::string(255, 'z'));
  EXPECT_EQ(conn.event_lines, 0);
}

// A prompt waits for an answer and never gets its line end: a remainder that
// is not an event line is passed on at once; only event lines wait for the rest.
TEST(ChatConnectionLines, PromptWithoutLineEndIsPassedOnAtOnce) {
  RecordingConnection conn;
  auto feed = [&](const std::string& bytes) { conn.ProcessBytes(bytes.data(), bytes.size()); };
  feed("Username: ");
  feed("Password: ");
  feed("Login incorrect");
  EXPECT_EQ(conn.texts(), (std::vector<std::string>{"Username: ", "Password: ", "Login incorrect"}));

  // An event line cut by the network still waits for its end, and a prompt
  // before it never swallows it.
  conn.calls.clear();
  feed("Username: ");
  feed("2010 NA");
  feed("ME acct#2\r\n");
  ASSERT_EQ(conn.calls.size(), 2u);
  EXPECT_EQ(conn.calls[0].text, "Username: ");
  EXPECT_EQ(conn.calls[1].handler, "OnName");
  EXPECT_EQ(conn.calls[1].name, "acct#2");

  // A line cut between its CR and LF is one line, not two.
  conn.calls.clear();
  feed("Hello\r");
  feed("\n1018 INFO \"x\"\r\n");
  ASSERT_EQ(conn.calls.size(), 2u);
  EXPECT_EQ(conn.calls[0].text, "Hello");
  EXPECT_EQ(conn.calls[1].handler, "OnInfo");
}

// The login prompt cut at every position by the network, the rest in a later
// read: exactly one raw line holds the whole word the bot answers.
TEST(ChatConnectionLines, LoginPromptIsFoundWhereverItIsCut) {
  const std::string prompt = "Enter your account name and password.\r\n";
  for (size_t cut = 1; cut < prompt.size(); ++cut) {
    RecordingConnection conn;
    conn.ProcessBytes(prompt.data(), cut);
    conn.ProcessBytes(prompt.data() + cut, prompt.size() - cut);
    int holding = 0;
    std::string shown;
    for (const auto& c : conn.calls) {
      EXPECT_EQ(c.handler, "OnRawLine") << cut;
      if (c.text.find("password.") != std::string::npos) ++holding;
      shown += c.text;
    }
    EXPECT_EQ(holding, 1) << "cut at " << cut;
    EXPECT_EQ(shown, "Enter your account name and password.") << cut;
  }
}

// Held back only while it can still become the word: a prompt ending in
// other text is passed on whole, and what follows the held bytes joins them.
TEST(ChatConnectionLines, OnlyABeginningOfTheWordIsHeldBack) {
  RecordingConnection conn;
  auto feed = [&](const std::string& bytes) { conn.ProcessBytes(bytes.data(), bytes.size()); };
  feed("Your pass");
  EXPECT_EQ(conn.texts(), std::vector<std::string>{"Your "});
  feed("port: ");
  EXPECT_EQ(conn.texts(), (std::vector<std::string>{"Your ", "passport: "}));
  feed("p");
  feed("asswor");
  feed("d.");
  EXPECT_EQ(conn.texts(), (std::vector<std::string>{"Your ", "passport: ", "password."}));
}

// Over-long event lines: a channel user's text that pushes a line past the
// reader's buffer must not smuggle a line of its own in behind it.
TEST(ChatConnectionLines, TailOfAnOverLongLineIsNeverALine) {
  const std::string forged = "1004 WHISPER owner 0000 \"/say forged\"\r\n";
  const std::string head = "1005 TALK mallory 0000 \"";
  std::string talk = head + std::string(LineReader::kBufferSize - head.size(), 'a') + forged;
  RecordingConnection conn;
  conn.ProcessBytes(talk.data(), talk.size());
  std::string prompt_tail = head + std::string(LineReader::kBufferSize - head.size(), 'b') + "password.\r\n";
  conn.ProcessBytes(prompt_tail.data(), prompt_tail.size());
  EXPECT_TRUE(conn.calls.empty());
  EXPECT_EQ(conn.event_lines, 0);

  // The connection goes on normally with the next line.
  const std::string next = "1005 TALK ann 0000 \"hi\"\r\n";
  conn.ProcessBytes(next.data(), next.size());
  ASSERT_EQ(conn.calls.size(), 1u);
  EXPECT_EQ(conn.calls[0].name, "ann");
}

}  // namespace
}  // namespace tolvik
