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

TEST(LineReader, DropsAPieceThatFillsTheWholeBuffer) {
  LineReader r;
  EXPECT_TRUE(Cut(r, std::string(4096, 'x')).empty());
  EXPECT_EQ(r.held(), 0u);
  // What follows starts a fresh line.
  EXPECT_EQ(Cut(r, "ok\n"), std::vector<std::string>{"ok"});

  // A 5000-byte line: the first 4096 bytes are lost, the tail arrives alone.
  auto lines = Cut(r, std::string(5000, 'y') + "\nnext\n");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], std::string(5000 - 4096, 'y'));
  EXPECT_EQ(lines[1], "next");
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

}  // namespace
}  // namespace tolvik
