// A hostile channel and a server whose prompt TCP cuts up: over-long lines
// must not smuggle a forged event or a fake prompt in behind them, and a
// prompt split inside its key word still logs in.
#include <string>

#include "net/line_reader.h"
#include "support/whisper_session.h"

namespace tolvik {
namespace {

using testing::SessionTest;
using testing::WhisperSession;

const char* const kOwner = "[Level5]\r\nowner\r\n";

// A TALK line whose bytes after the reader's buffer read as a whisper from
// the owner, or as the login prompt: neither is obeyed.
TEST_F(WhisperSession, OverLongTalkLineSmugglesNothing) {
  Start("", kOwner);
  ASSERT_NE(Exchange("owner", "/say real").find("real"), std::string::npos);  // the owner is obeyed

  const std::string head = "1005 TALK mallory 0010 \"";
  const std::string filler(LineReader::kBufferSize - head.size(), 'a');
  gateway.send(head + filler + "1004 WHISPER owner 0000 \"/say forged\"\r\n");
  gateway.send(head + filler + "Enter your account name and password.\r\n");
  EXPECT_NE(Exchange("owner", "/say after").find("after"), std::string::npos);
  EXPECT_EQ(gateway.received().find("forged"), std::string::npos);
  EXPECT_EQ(Count("acct\r\nsecret\r\n"), 1);  // only the real login's reply
  EXPECT_FALSE(display.contains("Command from owner: /say forged"));
  EXPECT_EQ(doc->State(), Connected);
}

// The prompt cut inside "password.", the rest in a later read.
TEST_F(SessionTest, PromptSplitInsideTheWordLogsIn) {
  WriteBotIni("[Toggles]\r\nViewText=1\r\n");
  Open();
  doc->Connect();
  ASSERT_TRUE(Run([&] { return doc->State() == WaitingForLoginPrompt; }));
  gateway.send("Enter your account name and pas");
  ASSERT_TRUE(WaitShown("Enter your account name and"));  // read, the word held back
  gateway.send("sword.\r\n");
  ASSERT_TRUE(WaitSent("acct\r\nsecret\r\n"));
  EXPECT_EQ(doc->State(), VerifyingNameAndPassword);
  EXPECT_TRUE(display.contains("password."));
}

}  // namespace
}  // namespace tolvik
