// The chat bar without widgets: history recall with prefix search, name
// completion, the input line's edits, and what Enter, Ctrl+Enter, Alt+W and
// the whisper bars send through a real session.
#include "app/chat_bar.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/session_fixture.h"

namespace tolvik {
namespace {

using namespace std::chrono_literals;
using testing::SessionTest;

// ---- History ----------------------------------------------------------------

TEST(ChatHistoryTest, RingKeepsFourteenLinesAndUpStopsAtTheOldest) {
  ChatHistory h;
  for (int i = 1; i <= 16; ++i) h.store("line " + std::to_string(i));
  EXPECT_EQ(h.writeIndex(), 1);
  EXPECT_EQ(h.oldestIndex(), 2);
  EXPECT_EQ(h.browseIndex(), 1);
  EXPECT_EQ(h.slot(1), "");  // the write slot is always empty

  std::string line;
  std::vector<std::string> shown;
  while (h.back(line)) shown.push_back(line);
  ASSERT_EQ(shown.size(), 14u);
  EXPECT_EQ(shown.front(), "line 16");
  EXPECT_EQ(shown.back(), "line 3");
  EXPECT_EQ(h.browseIndex(), h.oldestIndex());
  EXPECT_FALSE(h.back(line));
  EXPECT_EQ(line, "line 3");

  // Down with no prefix walks forward and onto the empty write slot.
  for (int i = 4; i <= 16; ++i) {
    ASSERT_TRUE(h.forward(line));
    EXPECT_EQ(line, "line " + std::to_string(i));
  }
  ASSERT_TRUE(h.forward(line));
  EXPECT_EQ(line, "");
  EXPECT_FALSE(h.browsing());
  EXPECT_FALSE(h.forward(line));
}

TEST(ChatHistoryTest, PrefixSearchBackAndForwardIgnoresCase) {
  ChatHistory h;
  for (const char* l : {"Hello one", "other", "HEllo two", "he", "help me", "h"}) h.store(l);
  std::string line = "hE";
  ASSERT_TRUE(h.back(line));
  EXPECT_EQ(line, "help me");
  EXPECT_EQ(h.prefix(), "hE");
  ASSERT_TRUE(h.back(line));
  EXPECT_EQ(line, "he");
  ASSERT_TRUE(h.back(line));
  EXPECT_EQ(line, "HEllo two");
  ASSERT_TRUE(h.back(line));
  EXPECT_EQ(line, "Hello one");
  // Nothing older matches: the line keeps the last match.
  EXPECT_FALSE(h.back(line));
  EXPECT_EQ(line, "Hello one");

  ASSERT_TRUE(h.forward(line));
  EXPECT_EQ(line, "HEllo two");
  ASSERT_TRUE(h.forward(line));
  EXPECT_EQ(line, "he");
  ASSERT_TRUE(h.forward(line));
  EXPECT_EQ(line, "help me");
  // "h" is shorter than the prefix; the write slot is never reached with a prefix.
  EXPECT_FALSE(h.forward(line));
  EXPECT_EQ(line, "help me");
  EXPECT_TRUE(h.browsing());
}

TEST(ChatHistoryTest, PrefixSearchWithoutMatchKeepsTheTypedText) {
  ChatHistory h;
  h.store("abc");
  h.store("abd");
  std::string line = "zz";
  EXPECT_FALSE(h.back(line));
  EXPECT_EQ(line, "zz");
  EXPECT_EQ(h.browseIndex(), h.oldestIndex());
  EXPECT_FALSE(h.back(line));  // already at the oldest
}

TEST(ChatHistoryTest, DownWhileNotBrowsingDoesNothingEvenWithAnOldPrefix) {
  ChatHistory h;
  h.store("alpha");
  h.store("beta");
  std::string line = "al";
  ASSERT_TRUE(h.back(line));
  h.stopBrowsing();  // the operator typed something else
  line = "typed";
  EXPECT_FALSE(h.forward(line));
  EXPECT_EQ(line, "typed");
  EXPECT_EQ(h.browseIndex(), h.writeIndex());
}

TEST(ChatHistoryTest, EmptyHistoryAndLongLines) {
  ChatHistory h;
  std::string line;
  EXPECT_FALSE(h.back(line));
  EXPECT_FALSE(h.forward(line));
  h.store(std::string(300, 'x'));
  ASSERT_TRUE(h.back(line));
  EXPECT_EQ(line.size(), 254u);
}

// ---- The input line, completion, insertions (a document without a session) ----

class ChatBarTest : public SessionTest {
 protected:
  void SetUp() override {
    WriteBotIni();
    Open();
    bar = std::make_unique<ChatBar>(*doc);
  }
  UserList& users() { return doc->Bot().Users(); }
  void AddUsers(std::initializer_list<const char*> names) {
    for (const char* n : names) users().addUser(n, 0, "Home", "[STAR]");
  }
  void Select(const char* name) { users().setSelected(users().findUser(name), true); }
  std::unique_ptr<ChatBar> bar;
};

TEST_F(ChatBarTest, TabCyclesUserListThenLastSeenAndBack) {
  AddUsers({"alice", "bob", "Albert"});
  doc->Bot().LastSeen().append("alfred", "12:00:00");
  doc->Bot().LastSeen().append("zed", "12:00:01");

  bar->setText("hi AL");
  bar->completeName();
  EXPECT_EQ(bar->text(), "hi alice");
  EXPECT_EQ(bar->completionIndex(), 0);
  bar->completeName();
  EXPECT_EQ(bar->text(), "hi Albert");
  bar->completeName();
  EXPECT_EQ(bar->text(), "hi alfred");
  EXPECT_EQ(bar->completionIndex(), 3);
  bar->completeName();
  EXPECT_EQ(bar->text(), "hi alice");
  EXPECT_EQ(bar->completionPrefix(), "AL");

  // Shift+Tab from the first candidate wraps to the end of the list.
  bar->completeName(false);
  EXPECT_EQ(bar->text(), "hi alfred");
  bar->completeName(false);
  EXPECT_EQ(bar->text(), "hi Albert");
  // The front-end echoing our own text back is not a change.
  bar->setText("hi Albert");
  bar->completeName(false);
  EXPECT_EQ(bar->text(), "hi alice");

  // Typing takes a fresh prefix.
  bar->setText("hi alice z");
  EXPECT_EQ(bar->completionIndex(), -1);
  bar->completeName();
  EXPECT_EQ(bar->text(), "hi alice zed");
}

TEST_F(ChatBarTest, EscResetsCompletionAndUnmatchedOrEmptyPrefixChangesNothing) {
  AddUsers({"carol", "dave"});
  bar->setText("c");
  bar->completeName();
  EXPECT_EQ(bar->text(), "carol");
  bar->clear();
  EXPECT_EQ(bar->text(), "");
  EXPECT_EQ(bar->completionIndex(), -1);
  bar->setText("D");
  bar->completeName();
  EXPECT_EQ(bar->text(), "dave");

  bar->setText("hello ");  // nothing after the last space
  bar->completeName();
  EXPECT_EQ(bar->text(), "hello ");
  bar->setText("hello q");
  bar->completeName();
  EXPECT_EQ(bar->text(), "hello q");
}

TEST_F(ChatBarTest, RecallIsNotAnEditButTypingEndsBrowsing) {
  bar->storeHistory("first");
  bar->storeHistory("second");
  bar->setText("");
  bar->historyBack();
  EXPECT_EQ(bar->text(), "second");
  bar->setText("second");  // the widget's change notice for the recall
  EXPECT_TRUE(bar->history().browsing());
  bar->historyBack();
  EXPECT_EQ(bar->text(), "first");
  bar->setText("first!");
  EXPECT_FALSE(bar->history().browsing());
  // A new search starts from the newest line with the typed text as prefix.
  bar->setText("s");
  bar->historyBack();
  EXPECT_EQ(bar->text(), "second");
  bar->historyForward();  // nothing newer begins with "s"
  EXPECT_EQ(bar->text(), "second");
  bar->clear();
  EXPECT_FALSE(bar->history().browsing());
}

TEST_F(ChatBarTest, InsertionsAtTheCaretKeepTheFieldLimit) {
  AddUsers({"bob", "carol", "dave"});
  Select("bob");
  Select("dave");
  bar->setText("to  now");
  bar->setSelection(3, 3);
  bar->pasteSelectedNames();
  EXPECT_EQ(bar->text(), "to bob, dave now");
  EXPECT_EQ(bar->caret(), 12u);

  // Replacing a selection; the server name from the status.
  bar->setSelection(3, 12);
  bar->pasteServerName();
  EXPECT_EQ(bar->text(), "to " + gateway.address() + " now");

  // A paste stops at a line break and at 254 characters in all.
  bar->setText(std::string(250, 'a'));
  bar->setSelection(0, 0);
  bar->insertText("bcdefgh\r\nsecond line");
  EXPECT_EQ(bar->text(), "bcde" + std::string(250, 'a'));
  EXPECT_EQ(bar->caret(), 4u);
  bar->setText(std::string(300, 'z') + "\nmore");
  EXPECT_EQ(bar->text(), std::string(254, 'z'));
}

TEST_F(ChatBarTest, ReplyToLastWhisperInsertsAtTheStart) {
  bar->setText("hello");
  bar->replyToLastWhisper();  // nobody has whispered yet: the caret only moves
  EXPECT_EQ(bar->text(), "hello");
  EXPECT_EQ(bar->caret(), 0u);

  doc->Bot().DispatchLine("1004 WHISPER Wanda 0000 \"hi there\"");
  bar->setSelection(2, 5);
  bar->replyToLastWhisper();
  EXPECT_EQ(bar->text(), "/w Wanda hello");
  EXPECT_EQ(bar->caret(), 9u);
}

// ---- Sending through a session --------------------------------------------------

class ChatBarSessionTest : public ChatBarTest {
 protected:
  void SetUp() override {
    ChatBarTest::SetUp();
    LogIn();
    ASSERT_TRUE(WaitSent("/time\n"));
  }
  void Type(const std::string& text) { bar->setText(text); }
};

TEST_F(ChatBarSessionTest, WhisperLockSendsToEachSelectedUserOrToNobody) {
  AddUsers({"bob", "carol", "dave"});
  Select("carol");
  Select("bob");
  bar->whisperLock = true;
  Type("hi all");
  bar->sendChatLine();
  ASSERT_TRUE(WaitSent("/m carol hi all\n"));
  EXPECT_LT(gateway.received().find("/m bob hi all\n"), gateway.received().find("/m carol hi all\n"));
  EXPECT_EQ(bar->text(), "");
  EXPECT_EQ(bar->history().slot(0), "hi all");

  // Ctrl+Enter: to the channel this once, the lock stays on.
  Type("to the channel");
  bar->sendChatLine(true);
  ASSERT_TRUE(WaitSent("to the channel\n"));
  EXPECT_EQ(Count("/m "), 2);
  EXPECT_TRUE(bar->whisperLock);

  // Nobody selected: nothing is sent, but the line is handled locally and remembered.
  users().clearSelection();
  Type("/lvl");
  bar->sendChatLine();
  ASSERT_TRUE(WaitShown("You are level 0"));
  host.RunFor(*doc, 100ms);
  EXPECT_EQ(Count("/lvl"), 0);
  EXPECT_EQ(bar->history().slot(2), "/lvl");

  // A whispered "/ban x" bans nobody, so no ban waits for a confirmation.
  Select("dave");
  Type("/ban x");
  bar->sendChatLine();
  ASSERT_TRUE(WaitSent("/m dave /ban x\n"));
  EXPECT_TRUE(doc->Bot().Pending().isEmpty());
}

TEST_F(ChatBarSessionTest, QueuedLinesAreCutTo254CharactersBeforeTheLineFeed) {
  AddUsers({"bob"});
  Select("bob");
  const std::string longText(254, 'x');

  bar->whisperLock = true;
  Type(longText);
  bar->sendChatLine();
  const std::string whisper = ("/m bob " + longText).substr(0, 254) + "\n";
  ASSERT_TRUE(WaitSent(whisper));

  bar->whisperLock = false;
  Type(std::string(300, 'y'));
  bar->sendChatLine();
  ASSERT_TRUE(WaitSent(std::string(254, 'y') + "\n"));
  EXPECT_EQ(Count(std::string(255, 'y')), 0);

  // Alt+W: the same cut, on the normal ring, into the history.
  Type(std::string(260, 'w'));
  bar->whisperSelected();
  ASSERT_TRUE(WaitSent("/m bob " + std::string(247, 'w') + "\n"));
  EXPECT_EQ(bar->text(), "");
  EXPECT_EQ(bar->history().slot(2), std::string(254, 'w'));

  // A per-user bar: the whole line with its LF fits 253 characters.
  bar->sendUserWhisper("bob", std::string(300, 'u'));
  ASSERT_TRUE(WaitSent("/m bob " + std::string(245, 'u') + "\n"));
  EXPECT_EQ(Count(std::string(246, 'u')), 0);
  EXPECT_EQ(bar->history().writeIndex(), 3);  // per-user lines are not remembered

  for (const std::string& line : gateway.receivedLines()) EXPECT_LE(line.size(), 254u);
}

TEST_F(ChatBarSessionTest, CutsNeverSplitAUtf8Character) {
  AddUsers({"bob"});
  Select("bob");
  // "é" (two bytes) straddles the 254th byte of the field and of the whisper line.
  const std::string e = "\xC3\xA9";
  Type(std::string(253, 'a') + e);
  EXPECT_EQ(bar->text(), std::string(253, 'a'));

  Type(std::string(246, 'w') + e + "tail");
  bar->whisperSelected();  // "/m bob " + 246 bytes = 253, so "é" would be cut in half
  ASSERT_TRUE(WaitSent("/m bob " + std::string(246, 'w') + "\n"));
}

TEST_F(ChatBarSessionTest, WhisperBarSendsToSelectedAndTypedNames) {
  AddUsers({"bob", "carol"});
  Select("bob");
  bar->sendWhisperBar("carol  erin ", "psst");
  ASSERT_TRUE(WaitSent("/m erin psst\n"));
  EXPECT_EQ(Count("/m bob psst\n"), 1);
  EXPECT_EQ(Count("/m carol psst\n"), 1);
  EXPECT_EQ(Count("/m  "), 0);
  EXPECT_EQ(bar->history().slot(0), "psst");

  // Selected and typed: the message goes twice.
  bar->sendWhisperBar("bob", "twice");
  ASSERT_TRUE(Run([&] { return Count("/m bob twice\n") == 2; }));
}

TEST_F(ChatBarSessionTest, TalkAndOnTalkScriptsRunWhenAutoRespondIsOn) {
  dir.write("talk.tcl", "BnetSend \"talk saw $speaker: $action / $data\"\n");
  dir.write("ontalk.tcl", "BnetSend \"ontalk saw $data\"\n");
  dir.write("script.ini", "[Talk]\r\n!seen=talk.tcl\r\n[Events]\r\nOnTalk=ontalk.tcl\r\n");
  doc->GetToggles().AutoRespond.state = true;
  Type("!seen Bob now");
  bar->sendChatLine();
  ASSERT_TRUE(WaitSent("ontalk saw Bob now\n"));
  EXPECT_TRUE(display.contains("Script: !seen"));
  EXPECT_FALSE(display.contains("Script: OnTalk"));
  const std::string all = gateway.received();
  size_t typed = all.find("!seen Bob now\n");
  size_t talk = all.find("talk saw acct: !seen / Bob now\n");
  ASSERT_NE(typed, std::string::npos);
  ASSERT_NE(talk, std::string::npos);
  EXPECT_LT(talk, all.find("ontalk saw Bob now\n"));

  doc->GetToggles().AutoRespond.state = false;
  Type("!seen again");
  bar->sendChatLine();
  ASSERT_TRUE(WaitSent("!seen again\n"));
  host.RunFor(*doc, 100ms);
  EXPECT_EQ(Count("talk saw acct"), 1);
  EXPECT_EQ(Count("ontalk saw"), 1);
}

// A typed line overtakes the bot's own lines waiting on the normal ring, and
// a typed ban is recorded and confirmed by the server's answer.
TEST_F(ChatBarSessionTest, TypedLinesGoOnThePriorityRingAndBansArePending) {
  // Hold the sender at its next pause (the flood score makes it pause once
  // a few lines have left; the fixture's timers never decay it).
  struct Gate {
    std::atomic<bool> entered{false};
    std::atomic<bool> released{false};
  };
  auto gate = std::make_shared<Gate>();
  struct Release {
    std::shared_ptr<Gate> gate;
    OutgoingQueue& queue;
    ~Release() {
      gate->released = true;
      queue.SetPause([](int) {});
    }
  } release{gate, doc->Bot().Queue()};
  doc->Bot().Queue().SetPause([gate](int) {
    gate->entered = true;
    while (!gate->released) std::this_thread::sleep_for(1ms);
  });
  for (int i = 1; i <= 6; ++i) doc->Bot().Queue().Say("normal %d\n", i);
  ASSERT_TRUE(Run([&] { return gate->entered.load(); }));
  // The sender takes nothing from a ring while it pauses.
  const int waiting = doc->Bot().Queue().Waiting(OutgoingQueue::kNormal);
  ASSERT_GE(waiting, 1);
  const int first_unsent = 7 - waiting;

  Type("typed line");
  bar->sendChatLine();
  EXPECT_EQ(doc->Bot().Queue().Waiting(OutgoingQueue::kPriority), 1);
  gate->released = true;
  ASSERT_TRUE(WaitSent("normal 6\n"));
  const std::string all = gateway.received();
  const size_t typed = all.find("typed line\n");
  ASSERT_NE(typed, std::string::npos);
  EXPECT_LT(typed, all.find("normal " + std::to_string(first_unsent) + "\n"));
  if (first_unsent > 1) {
    EXPECT_GT(typed, all.find("normal " + std::to_string(first_unsent - 1) + "\n"));
  }

  // "/ban x" goes out as typed and waits for the server's confirmation.
  doc->Bot().Queue().SetPause([](int) {});
  Type("/ban x");
  bar->sendChatLine();
  const PendingAction* front = doc->Bot().Pending().front();
  ASSERT_NE(front, nullptr);
  EXPECT_EQ(front->text, "x acct");
  EXPECT_EQ(front->kind, kPendingBan);
  ASSERT_TRUE(WaitSent("/ban x\n"));
  gateway.send("1018 INFO \"x was banned by acct.\"\r\n");
  ASSERT_TRUE(Run([&] { return doc->Bot().Pending().isEmpty(); }));
  // Banned by the bot itself: no ban protection.
  host.RunFor(*doc, 100ms);
  EXPECT_EQ(Count("/unban"), 0);
}

}  // namespace
}  // namespace tolvik
