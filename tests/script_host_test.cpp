// The script host's message stream, and the host program this test binary's
// bridges run (the build's own).
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "bot/script_host_process.h"
#include "bot/script_wire.h"

namespace tolvik {
namespace {

namespace wire = script_wire;

// Set before any test runs: every bridge of this program starts the build's host.
const bool kHostProgramSet = [] {
  SetScriptHostProgram(TOLVIK_SCRIPTHOST_PATH);
  return true;
}();

std::string LengthBytes(uint32_t n) { return std::string(reinterpret_cast<const char*>(&n), 4); }

TEST(ScriptWire, MessagesSurviveAnyCutIntoPieces) {
  const wire::Message sent{wire::kRun, {"path with spaces", std::string("a\0b", 3), "", std::string(5000, 'x')}};
  const size_t first = wire::Encode(sent).size();
  const std::string bytes = wire::Encode(sent) + wire::Encode({wire::kDone, {"1"}});
  for (size_t cut : {size_t{1}, size_t{3}, size_t{4}, size_t{5}, size_t{4096}, first - 1, first, first + 1}) {
    wire::MessageBuffer buffer;
    wire::Message got;
    buffer.Append(bytes.data(), cut);
    // The first message comes out exactly when its last byte is in.
    ASSERT_EQ(buffer.Next(got), cut >= first) << cut;
    buffer.Append(bytes.data() + cut, bytes.size() - cut);
    if (cut < first) {
      ASSERT_TRUE(buffer.Next(got)) << cut;
    }
    EXPECT_EQ(got.type, wire::kRun);
    EXPECT_EQ(got.fields, sent.fields);
    ASSERT_TRUE(buffer.Next(got)) << cut;
    EXPECT_EQ(got.type, wire::kDone);
    EXPECT_EQ(got.Field(0), "1");
    EXPECT_EQ(got.Field(1), "");  // past the last field
    EXPECT_FALSE(buffer.Next(got));
    EXPECT_FALSE(buffer.Broken());
  }
}

TEST(ScriptWire, BodyLengthIsBoundedExactlyAtTheLimit) {
  // A body of exactly the limit is a message...
  wire::MessageBuffer at_limit;
  std::string field(wire::kMaxBody - 1 - 4, 'y');
  const std::string bytes = wire::Encode({wire::kPrint, {field}});
  ASSERT_EQ(bytes.size(), 4 + wire::kMaxBody);
  at_limit.Append(bytes.data(), bytes.size());
  wire::Message got;
  ASSERT_TRUE(at_limit.Next(got));
  EXPECT_EQ(got.Field(0).size(), field.size());
  // ...one byte more is a broken stream, seen from the length alone.
  wire::MessageBuffer past;
  const std::string head = LengthBytes(wire::kMaxBody + 1) + "P";
  past.Append(head.data(), head.size());
  EXPECT_FALSE(past.Next(got));
  EXPECT_TRUE(past.Broken());
}

TEST(ScriptWire, MalformedFieldListsBreakTheStream) {
  wire::Message got;
  // A field claiming more bytes than its body holds.
  wire::MessageBuffer overrun;
  const std::string bad = LengthBytes(1 + 4 + 2) + "P" + LengthBytes(3) + "ab";
  overrun.Append(bad.data(), bad.size());
  EXPECT_FALSE(overrun.Next(got));
  EXPECT_TRUE(overrun.Broken());
  // A field length cut short inside the body.
  wire::MessageBuffer stub;
  const std::string cut = LengthBytes(1 + 2) + "P" + std::string(2, '\0');
  stub.Append(cut.data(), cut.size());
  EXPECT_FALSE(stub.Next(got));
  EXPECT_TRUE(stub.Broken());
  // An empty body is no message either.
  wire::MessageBuffer empty;
  const std::string zero = LengthBytes(0);
  empty.Append(zero.data(), zero.size());
  EXPECT_FALSE(empty.Next(got));
  EXPECT_TRUE(empty.Broken());
}

TEST(ScriptWire, ReadMessageBlocksForAWholeMessageAndSeesTheEnd) {
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  ASSERT_TRUE(wire::WriteMessage(pair[0], {wire::kQuery, {"UserLevel", "Bob"}}));
  close(pair[0]);
  wire::MessageBuffer buffer;
  wire::Message got;
  ASSERT_TRUE(wire::ReadMessage(pair[1], buffer, got));
  EXPECT_EQ(got.type, wire::kQuery);
  EXPECT_EQ(got.Field(1), "Bob");
  EXPECT_FALSE(wire::ReadMessage(pair[1], buffer, got));  // end of stream
  close(pair[1]);
  // Writing to a peer that is gone fails instead of raising SIGPIPE.
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  close(pair[1]);
  EXPECT_FALSE(wire::WriteMessage(pair[0], {wire::kDone, {"1"}}));
  close(pair[0]);
}

TEST(ScriptHostProgram, MissingProgramIsReportedNotStarted) {
  ScriptHostProcess host;
  std::string error;
  EXPECT_FALSE(host.Start("", 1 << 26, error));
  EXPECT_EQ(error, "tolvik-scripthost was not found");
  EXPECT_FALSE(host.Start("/nonexistent/tolvik-scripthost", 1 << 26, error));
  EXPECT_NE(error.find("/nonexistent/tolvik-scripthost"), std::string::npos);
  EXPECT_FALSE(host.Running());
  EXPECT_EQ(host.Kill(), "");
}

TEST(ScriptHostProgram, TheHostEndsWhenTheBotClosesItsSocket) {
  ScriptHostProcess host;
  std::string error;
  ASSERT_TRUE(host.Start(FindScriptHostProgram(), 1 << 28, error)) << error;
  const pid_t pid = host.Pid();
  EXPECT_GT(pid, 0);
  // Closing the bot's end is all it takes: the host leaves by itself.
  shutdown(host.Socket(), SHUT_RDWR);
  EXPECT_EQ(host.Reap(), "exit status 0");
  EXPECT_FALSE(host.Running());
  EXPECT_EQ(host.Socket(), -1);
}

}  // namespace
}  // namespace tolvik
