// tolvik-cli as a real process against the loopback chat API server: the
// API key from Bot.ini, the channel shown, typed lines sent as requests, a
// whispered command answered, and the close sequence on SIGTERM.
#include <gtest/gtest.h>
#include <signal.h>

#include <string>
#include <vector>

#include "cli_process.h"
#include "support/api_test_server.h"
#include "support/temp_dir.h"
#include "support/test_ca.h"

namespace tolvik {
namespace {

using testing::ApiTestServer;
using testing::CliProcess;
using testing::GetTestCa;
using testing::TempDir;

std::string Update(int id, const std::string& name) {
  return R"({"command":"Botapichat.UserUpdateEventRequest","payload":{"user_id":)" + std::to_string(id) +
         R"(,"toon_name":")" + name + R"(","flag":[],"attribute":[{"key":"ProgramId","value":"STAR"}]}})";
}

TEST(ApiCliProcess, RunsAChannelThroughTheApiAndClosesWithTheDisconnectSequence) {
  ApiTestServer server("cli-key");
  server.setChannelScript({Update(1, "ApiBot"),
                           R"({"command":"Botapichat.ConnectEventRequest","payload":{"channel":"Home"}})",
                           Update(2, "pebble"),
                           R"({"command":"Botapichat.MessageEventRequest","payload":{"user_id":2,"message":"hi bot","type":"Channel"}})"});
  TempDir dir;
  dir.write("users.lst", "[Level1]\r\npebble\r\n");
  dir.write("Bot.ini", "[Init]\r\nLogin=acct\r\nPassword=cli-key\r\nServer=" + server.url() + "\r\nCAFile=" +
                           GetTestCa().ca_file + "\r\nChannel=Home\r\n[AutoSend]\r\nLeave=see you\r\n");
  CliProcess cli({"--dir", dir.path().string()});
  ASSERT_TRUE(cli.WaitOutput("Joining Channel: Home")) << cli.output();
  ASSERT_TRUE(cli.WaitOutput("-- Status: Connected")) << cli.output();
  ASSERT_TRUE(cli.WaitOutput("hi bot")) << cli.output();

  // A whispered command, answered by a whisper to the speaker's id.
  server.send(R"({"command":"Botapichat.MessageEventRequest","payload":{"user_id":2,"message":"/level","type":"Whisper"}})");
  std::string reply = server.waitForReceived("You are level 1");
  EXPECT_NE(reply.find("Botapichat.SendWhisperRequest"), std::string::npos) << reply;
  EXPECT_NE(reply.find(R"("user_id":2)"), std::string::npos) << reply;

  cli.Signal(SIGTERM);
  EXPECT_EQ(cli.Wait(), 0);
  EXPECT_TRUE(server.waitForClientGone());
  const std::vector<std::string> sent = server.received();
  ASSERT_GE(sent.size(), 2u);
  EXPECT_NE(sent[sent.size() - 2].find("see you"), std::string::npos);
  EXPECT_NE(sent.back().find("Botapichat.DisconnectRequest"), std::string::npos);
  EXPECT_TRUE(server.closeFrameReceived());
  EXPECT_EQ(cli.output().find("cli-key"), std::string::npos);  // the key is never shown
}

}  // namespace
}  // namespace tolvik
