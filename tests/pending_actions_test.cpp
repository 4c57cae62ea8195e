#include "bot/pending_actions.h"

#include <gtest/gtest.h>

#include <string>

namespace tolvik {
namespace {

TEST(PendingActionQueue, FirstInFirstOutAndPopOnEmptyDoesNothing) {
  PendingActionQueue q;
  q.pop();
  EXPECT_TRUE(q.isEmpty());
  EXPECT_EQ(q.front(), nullptr);
  q.push("bob", kPendingDesignate, kDesignateSilent);
  q.push("x alice", kPendingBan, 1);
  ASSERT_NE(q.front(), nullptr);
  EXPECT_EQ(q.front()->text, "bob");
  EXPECT_EQ(q.front()->mode, kDesignateSilent);
  q.pop();
  EXPECT_EQ(q.front()->text, "x alice");
  q.pop();
  EXPECT_TRUE(q.isEmpty());
}

TEST(PendingActionQueue, PastItsCapacityTheOldestEntriesGo) {
  PendingActionQueue q;
  const size_t total = PendingActionQueue::kCapacity + 5;
  for (size_t i = 0; i < total; ++i) q.push("v" + std::to_string(i) + " alice", kPendingUnban, 1);
  EXPECT_EQ(q.size(), PendingActionQueue::kCapacity);
  EXPECT_EQ(q.front()->text, "v5 alice");
}

TEST(PendingActionQueue, RecordPendingCommandKnowsDesignateBanAndUnbanOnly) {
  PendingActionQueue q;
  q.RecordPendingCommand("/designate Heir", "alice", nullptr);
  q.RecordPendingCommand("/BAN Spammer flooding", "alice", nullptr);
  q.RecordPendingCommand(".ban  Other", "bob", nullptr);
  q.RecordPendingCommand("/unban Spammer", "alice", nullptr);
  q.RecordPendingCommand(".Unban Other please", "bob", nullptr);
  for (const char* ignored : {"/kick joe", "/bank joe", "/banjoe", "ban joe", ""})
    q.RecordPendingCommand(ignored, "alice", nullptr);
  q.RecordPendingCommand(("/unban " + std::string(60, 'v')).c_str(), "bob", nullptr);

  const PendingAction expected[] = {
      {"Heir", kPendingDesignate, kDesignateTellHeir}, {"Spammer alice", kPendingBan, 1},
      {"Other bob", kPendingBan, 1},                   {"Spammer alice", kPendingUnban, 1},
      {"Other bob", kPendingUnban, 1},                 {std::string(48, 'v') + " bob", kPendingUnban, 1},
  };
  for (const PendingAction& e : expected) {
    ASSERT_FALSE(q.isEmpty()) << e.text;
    EXPECT_EQ(q.front()->text, e.text);
    EXPECT_EQ(q.front()->kind, e.kind) << e.text;
    EXPECT_EQ(q.front()->mode, e.mode) << e.text;
    q.pop();
  }
  EXPECT_TRUE(q.isEmpty());
}

}  // namespace
}  // namespace tolvik
