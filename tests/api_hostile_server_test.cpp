// A chat API server that works against the bot: one that floods it with
// messages, one that stalls the WebSocket upgrade, one that falls silent.
// The bot takes a flood in bounded reads and loses nothing of it, can be
// stopped or reconnected during a stall, and gives a silent server up after
// its timeout while pings keep a quiet one open.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <string>

#include "cli_process.h"
#include "net/api/api_session.h"
#include "support/transport_session.h"

namespace tolvik::testing {
namespace {

class HostileApiServer : public TransportSessionTest {
 protected:
  void Open(int silence_timeout_ms = 45000) {
    WriteBotIni();
    TransportSessionTest::Open();
    ReconnectTimings timings = QuickReconnectTimings();
    timings.silence_timeout_ms = silence_timeout_ms;
    doc->SetReconnectTimings(timings);
  }
  // Runs the document as a front-end's loop does: socket events, and the
  // timers whenever their next deadline has come.
  bool RunWithTimers(const std::function<bool()>& done, std::chrono::milliseconds timeout = 30s) {
    return Run(
        [&] {
          const auto now = std::chrono::steady_clock::now();
          if (doc->NextTimerDue(now) <= now) doc->RunDueTimers(now);
          return done();
        },
        timeout);
  }
  void RunWithTimersFor(std::chrono::milliseconds duration) {
    const auto end = std::chrono::steady_clock::now() + duration;
    RunWithTimers([&] { return std::chrono::steady_clock::now() >= end; });
  }
};

// Each read hands over at most its bound of messages, however fast they
// come, so the loop gets its turn between reads; and every message of the
// flood is shown all the same.
TEST_P(HostileApiServer, AFloodIsTakenInBoundedReadsAndNothingOfItIsLost) {
  Open();
  LogIn();
  const std::string kWave = "wave-of-text";
  api_server->flood(api_msg::Say(2, "Channel", kWave), 1500ms);

  // Once the flood is over, a last line follows it. The host's loop reads
  // once between two looks at the display.
  size_t most_per_read = 0;
  long shown = 0;
  size_t seen = display.size();
  bool flood_over = false, after_seen = false;
  ASSERT_TRUE(Run(
      [&] {
        const std::vector<std::string> added = display.textsFrom(seen);
        seen += added.size();
        const auto waves = static_cast<size_t>(std::count_if(
            added.begin(), added.end(), [&](const std::string& t) { return t.find(kWave) != std::string::npos; }));
        most_per_read = std::max(most_per_read, waves);
        shown += static_cast<long>(waves);
        for (const std::string& t : added) after_seen = after_seen || t.find("after the flood") != std::string::npos;
        if (flood_over) return after_seen;
        if (api_server->waitForFloodEnd(0ms)) {
          flood_over = true;
          Talk("alice", "after the flood");
        }
        return false;
      },
      120s));

  EXPECT_LE(most_per_read, api::ApiSession::kReadMessagesPerCall);
  const long flooded = api_server->flooded();
  EXPECT_GT(flooded, static_cast<long>(api::ApiSession::kReadMessagesPerCall));
  EXPECT_EQ(shown, flooded);
  EXPECT_EQ(doc->State(), Connected);
}

// Pings keep a quiet connection open past the silence timeout; once nothing
// at all comes for that long, the connection is lost and logged in again.
TEST_P(HostileApiServer, SilenceLosesTheConnectionAndPingsKeepItOpen) {
  constexpr int kSilenceMs = 1000;
  Open(kSilenceMs);
  doc->StartTimers(std::chrono::steady_clock::now());
  LogIn();
  for (int i = 1; i <= 5; ++i) {  // well past the timeout in all
    RunWithTimersFor(std::chrono::milliseconds(kSilenceMs / 4));
    api_server->ping();
    ASSERT_TRUE(RunWithTimers([&] { return api_server->pongs() == i; }));
  }
  EXPECT_EQ(Shown("THE BOT HAS LOST CONNECTION"), 0);
  EXPECT_EQ(Clients(), 1);

  ASSERT_TRUE(RunWithTimers([&] { return display.contains("THE BOT HAS LOST CONNECTION"); }));
  EXPECT_TRUE(display.contains("Connection lost: nothing heard from the server for 1 s."));
  PlayLogin(2);
}

INSTANTIATE_TEST_SUITE_P(ApiOnly, HostileApiServer, ::testing::Values(Wire::kApi), WireName);

// The terminal program while the server never answers the upgrade: a
// disconnect and a new connect leave the terminal answering at once, and a
// stop signal ends the program with status 0.
TEST(HostileApiServerProcess, AStalledUpgradeHoldsNothingUp) {
  ApiTestServer server("cli-key");
  server.setStallsUpgrade(true);
  TempDir dir;
  dir.write("Bot.ini", "[Init]\r\nLogin=acct\r\nPassword=cli-key\r\nServer=" + server.url() + "\r\nCAFile=" +
                           GetTestCa().ca_file + "\r\nChannel=Home\r\n[AutoSend]\r\nLeave=see you\r\n");
  CliProcess cli({"--dir", dir.path().string()});
  ASSERT_TRUE(server.waitForStalledUpgrade(10s)) << cli.output();

  // The handshake's own timeout is 10 s: an answer within 5 s means the
  // stalled attempt was given up, not waited out.
  cli.Type("//disconnect\n//connect\n//status\n");
  ASSERT_TRUE(server.waitForClients(2, 5s)) << cli.output();
  ASSERT_TRUE(cli.WaitOutput("-- Status", 5s)) << cli.output();
  ASSERT_TRUE(server.waitForStalledUpgrade(5s));

  cli.Signal(SIGTERM);
  EXPECT_EQ(cli.Wait(), 0) << cli.output();
  EXPECT_EQ(cli.output().find("closing took too long"), std::string::npos);
}

}  // namespace
}  // namespace tolvik::testing
