// The server's information and error lines against the pending actions, in
// logged-in sessions: every answer branch, ban protection with long names,
// and lines the full outgoing queue dropped.
#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "support/whisper_session.h"

namespace tolvik {
namespace {

using namespace std::chrono_literals;
using testing::WhisperSession;

class ConfirmationsTest : public WhisperSession {
 protected:
  // Sends one server line and returns what the bot sent because of it.
  std::string Answer(const std::string& line, const std::string& shown) {
    const size_t start = gateway.received().size();
    gateway.send(line + "\r\n");
    EXPECT_TRUE(WaitShown(shown)) << line;
    const std::string marker = "marker " + std::to_string(++markers_) + "\n";
    Bot().Queue().Say("%s", marker.c_str());
    EXPECT_TRUE(WaitSent(marker));
    const std::string all = gateway.received();
    return all.substr(start, all.find(marker, start) - start);
  }

 private:
  int markers_ = 0;
};

TEST_F(ConfirmationsTest, EveryAnswerToTheOldestEntry) {
  Start("");
  struct Case {
    PendingAction entry;
    std::string line;     // from the server
    std::string sent;     // what the bot sends in answer
    std::string report;   // shown besides the line itself, if anything
    bool stays;
  };
  const Case cases[] = {
      {{"x alice", kPendingBan, 1}, "1019 ERROR \"That user is not logged on.\"",
       "/msg alice Error: That user is not logged on\n", "", false},
      {{"x alice", kPendingBan, 1}, "1019 ERROR \"You can't ban another operator.\"",
       "/msg alice Error: You cannot ban another operator\n", "", false},
      {{"x alice", kPendingBan, 1}, "1019 ERROR \"You are not a channel operator.\"",
       "/msg alice Error: The bot does not have operator status\n", "", false},
      {{"x alice", kPendingBan, 1}, "1019 ERROR \"Strange answer.\"", "",
       "ERROR #103: Unhandled Ban Error Packet - Strange answer.", false},
      {{"bob alice", kPendingDesignate, kDesignateTellHeirAndRequester}, "1019 ERROR \"Already an operator.\"",
       "/msg alice That user already has ops\n", "", false},
      {{"bob alice", kPendingDesignate, kDesignateTellHeirAndRequester}, "1019 ERROR \"That name is invalid.\"",
       "/msg alice That user is not in the channel\n", "", false},
      {{"bob alice", kPendingDesignate, kDesignateTellHeirAndRequester}, "1019 ERROR \"Strange answer.\"", "",
       "ERROR #101: Unhandled Designate Error packet - Strange answer.", false},
      {{"bob", kPendingDesignate, kDesignateTellHeir}, "1019 ERROR \"That user is not logged on.\"", "", "", false},
      {{"bob", kPendingDesignate, 7}, "1019 ERROR \"Anything.\"", "", "ERROR #102: Unhandled Designate Event Flag - 7",
       false},
      {{"bob", kPendingDesignate, 7}, "1018 INFO \"bob is your new designated heir.\"", "",
       "Error #201: Unhandled Designate Event Flag", false},
      {{"x alice", kPendingUnban, 1}, "1019 ERROR \"No such user.\"", "/msg alice Error: No such user.\n", "", false},
      {{"x acct", kPendingUnban, 1}, "1019 ERROR \"No such user.\"", "", "", false},  // the bot asked: nobody told
      {{"x acct", kPendingUnban, 1}, "1018 INFO \"y was unbanned by acct.\"", "",
       "Unban queue entry: szName != EventText", true},
      {{"x acct", 9, 1}, "1019 ERROR \"Anything.\"", "", "Unhandled FIFO entry packet type", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line + " for " + c.entry.text);
    display.clear();
    Bot().Pending().push(c.entry.text, c.entry.kind, c.entry.mode);
    const std::string text = c.line.substr(c.line.find('"') + 1, c.line.rfind('"') - c.line.find('"') - 1);
    EXPECT_EQ(Answer(c.line, text), c.sent);
    if (!c.report.empty()) {
      EXPECT_TRUE(display.contains(c.report));
    }
    EXPECT_EQ(Bot().Pending().size(), c.stays ? 1u : 0u);
    while (!Bot().Pending().isEmpty()) Bot().Pending().pop();
  }
}

// Ban protection reads both names whole: cut to 18 characters, they named
// somebody else.
TEST_F(ConfirmationsTest, BanProtectionUsesWholeNames) {
  Start("[Commands]\r\nBanTagged=5\r\n",
        "[Level2]\r\nlowuser\r\n\r\n[Level5]\r\nchannel_boss_long_name_20\r\n");
  EXPECT_EQ(Answer("1018 INFO \"victim_with_a_long_name_2 was banned by lowuser.\"", "was banned by lowuser"),
            "/unban victim_with_a_long_name_2\n");
  EXPECT_FALSE(display.contains("Trunctation"));
  while (!Bot().Pending().isEmpty()) Bot().Pending().pop();
  EXPECT_EQ(Answer("1018 INFO \"other was banned by channel_boss_long_name_20.\"", "other was banned"), "");
}

// A line the outgoing queue had no room for is never sent, so nothing may
// wait for its answer.
TEST_F(ConfirmationsTest, ADroppedLineRecordsNoPendingAction) {
  Start("[Commands]\r\nBanTagged=5\r\n", "[Level2]\r\nlowuser\r\n\r\n[Level5]\r\nboss\r\n");
  // Hold the sender at its next pause (the flood score makes it pause after
  // a few lines), then fill the normal ring.
  struct Gate {
    std::atomic<bool> entered{false};
    std::atomic<bool> released{false};
  };
  auto gate = std::make_shared<Gate>();
  OutgoingQueue& queue = Bot().Queue();
  struct Release {
    std::shared_ptr<Gate> gate;
    OutgoingQueue& queue;
    ~Release() {
      gate->released = true;
      queue.SetPause([](int) {});
    }
  } release{gate, queue};
  queue.SetPause([gate](int) {
    gate->entered = true;
    while (!gate->released) std::this_thread::sleep_for(1ms);
  });
  for (int i = 0; !gate->entered && i < 10; ++i) queue.Say("warming %d\n", i);
  ASSERT_TRUE(Run([&] { return gate->entered.load(); }));
  int filled = 0;
  while (queue.Say("filling %d\n", filled) == OutgoingQueue::kQueued) ++filled;
  ASSERT_LT(filled, OutgoingQueue::kSlots);

  gateway.send("1018 INFO \"victim was banned by lowuser.\"\r\n");  // ban protection's unban
  ASSERT_TRUE(WaitShown("victim was banned by lowuser."));
  Whisper("boss", "/ban x");
  EXPECT_TRUE(Bot().Pending().isEmpty());
  EXPECT_TRUE(display.contains("Outgoing queue full"));

  gate->released = true;
  ASSERT_TRUE(WaitSent("filling " + std::to_string(filled - 1) + "\n"));
  EXPECT_EQ(Count("/unban"), 0);
  EXPECT_EQ(Count("/ban x"), 0);
}

}  // namespace
}  // namespace tolvik
