#include "bot/user_list.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace tolvik {
namespace {

TEST(UserListIcons, ProductThenFlagOverridesInOrder) {
  EXPECT_EQ(UserList::ChooseIcon(0, "[STAR]"), 3);
  EXPECT_EQ(UserList::ChooseIcon(0, "[SEXP]"), 2);
  EXPECT_EQ(UserList::ChooseIcon(0x10, "[JSTR]"), 18);
  EXPECT_EQ(UserList::ChooseIcon(0, "[star]"), 0);     // tags compare case-sensitively
  EXPECT_EQ(UserList::ChooseIcon(0x10, "[CHAT]"), 1);  // a bot login without a known tag
  EXPECT_EQ(UserList::ChooseIcon(0, "[STAR]xyz"), 3);  // cut to six characters
  // With other flags the product is not looked at.
  EXPECT_EQ(UserList::ChooseIcon(0x200, "[STAR]"), 5);
  // Later rules win: squelched over operator over PGL over guest ...
  EXPECT_EQ(UserList::ChooseIcon(0x02 | 0x20, "[STAR]"), 8);
  EXPECT_EQ(UserList::ChooseIcon(0x02 | 0x400, "[STAR]"), 6);
  EXPECT_EQ(UserList::ChooseIcon(0x400 | 0x200, ""), 14);
  EXPECT_EQ(UserList::ChooseIcon(0x01 | 0x04, ""), 0);
  EXPECT_EQ(UserList::ChooseIcon(0x04 | 0x08, ""), 7);
  EXPECT_EQ(UserList::ChooseIcon(0x40, ""), 13);
}

class UserListTest : public ::testing::Test {
 protected:
  UserListTest()
      : list([this](const char* n) { return levels.count(n) ? levels[n] : 0; }, [this] { return now; }) {}
  std::vector<std::string> Names() const {
    std::vector<std::string> out;
    for (const auto& r : list.rows()) out.push_back(r.name);
    return out;
  }
  std::map<std::string, int> levels{{"boss", 7}};
  int64_t now = 100000;
  UserList list;
};

TEST_F(UserListTest, OperatorsComeFirstAndLabelCounts) {
  list.addUser("ann", 0, "Home", "[STAR]");
  list.addUser("boss", 0x02, "Home", "[SEXP]");
  list.addUser("cid", 0, "Home", "[W2BN]");
  EXPECT_EQ(Names(), (std::vector<std::string>{"boss", "ann", "cid"}));
  EXPECT_EQ(list.label(), "Home (3)");
  EXPECT_EQ(list.row(0).level, 7);
  EXPECT_EQ(list.allNames(), "boss, ann, cid");

  list.updateUserFlags("cid", 0x02);  // becomes an operator: moves up, keeps the order among equals
  EXPECT_EQ(Names(), (std::vector<std::string>{"boss", "cid", "ann"}));
  list.updateUserFlags("boss", 0);  // no longer an operator: behind cid, equal to ann
  EXPECT_EQ(Names(), (std::vector<std::string>{"cid", "boss", "ann"}));
  EXPECT_EQ(list.row(1).icon, 2);

  EXPECT_EQ(list.removeUser("ANN", "Home"), "[STAR]");
  EXPECT_EQ(list.removeUser("nobody", "Home"), "");
  EXPECT_EQ(list.label(), "Home (2)");
  list.clearUsers();
  EXPECT_EQ(list.label(), "");
  EXPECT_EQ(list.userCount(), 0);
}

TEST_F(UserListTest, AUserListedAgainKeepsOneRowAndLookUpsFollowEveryMove) {
  auto lookups_match_rows = [this] {
    for (int i = 0; i < list.userCount(); ++i)
      if (list.findUser(list.row(i).name.c_str()) != i) return false;
    return true;
  };
  list.addUser("op", 0x02, "Home", "[STAR]");
  for (const char* n : {"ann", "bob", "cy"}) list.addUser(n, 0, "Home", "[STAR]");
  list.setSelected(list.findUser("bob"), true);
  now += 20 * 60;
  list.markIdleUsers();

  // Listed again as an operator: the same row, fresh values, moved behind the operators.
  list.addUser("BOB", 0x02, "Home", "[SEXP]");
  EXPECT_EQ(Names(), (std::vector<std::string>{"op", "BOB", "ann", "cy"}));
  EXPECT_EQ(list.label(), "Home (4)");
  EXPECT_EQ(list.row(1).product, "[SEXP]");
  EXPECT_EQ(list.row(1).icon, 6);
  EXPECT_TRUE(list.row(1).selected);
  EXPECT_EQ(list.idleMinutes("bob"), 0);
  EXPECT_TRUE(lookups_match_rows());

  list.addUser("zed", 0x02, "Home", "");  // a new operator goes on top
  EXPECT_EQ(Names(), (std::vector<std::string>{"zed", "op", "BOB", "ann", "cy"}));
  list.updateUserFlags("zed", 0);
  EXPECT_EQ(Names(), (std::vector<std::string>{"op", "BOB", "zed", "ann", "cy"}));
  EXPECT_TRUE(lookups_match_rows());

  EXPECT_EQ(list.removeUser("op", "Home"), "[STAR]");
  EXPECT_EQ(list.removeUser("ANN", "Home"), "[STAR]");
  list.updateUserFlags("cy", 0x02);
  EXPECT_EQ(Names(), (std::vector<std::string>{"BOB", "cy", "zed"}));
  EXPECT_TRUE(lookups_match_rows());

  list.clearUsers();
  list.addUser("cy", 0, "Home", "");
  EXPECT_EQ(list.findUser("zed"), -1);
  EXPECT_EQ(list.findUser("CY"), 0);
}

TEST_F(UserListTest, IdleMarksAndActivity) {
  list.addUser("ann", 0, "Home", "[STAR]");
  list.addUser("op", 0x02, "Home", "[STAR]");
  now += 14 * 60 + 59;
  list.markIdleUsers();
  EXPECT_EQ(list.row(list.findUser("ann")).icon, 3);
  now += 61;
  EXPECT_EQ(list.idleMinutes("ann"), 15);
  list.markIdleUsers();
  EXPECT_EQ(list.row(list.findUser("ann")).icon, 3 + UserList::kIdleOffset);
  EXPECT_EQ(list.row(list.findUser("op")).icon, 6 + UserList::kIdleOffset);

  list.touchUser("op");
  list.setIdle("op", false);
  EXPECT_EQ(list.idleMinutes("op"), 0);
  EXPECT_EQ(list.row(list.findUser("op")).icon, 6);
  EXPECT_EQ(list.row(0).name, "op");  // touching keeps the operator bit
  list.setIdle("op", false);          // already awake: unchanged
  EXPECT_EQ(list.row(list.findUser("op")).icon, 6);
  EXPECT_EQ(list.idleMinutes("ghost"), -1);
}

TEST_F(UserListTest, SelectionSteppingWrapsAndHighlightIsCaseSensitive) {
  for (const char* n : {"a", "b", "c"}) list.addUser(n, 0, "Home", "");
  EXPECT_EQ(list.firstSelected(), -1);
  list.selectPrevious();  // nothing selected: the last row
  EXPECT_EQ(list.firstSelected(), 2);
  list.selectNext();  // wraps to the first
  EXPECT_EQ(list.firstSelected(), 0);
  list.selectPrevious();
  EXPECT_EQ(list.firstSelected(), 2);
  list.setSelected(0, true);
  EXPECT_EQ(list.selectedNames(), "a c");
  EXPECT_TRUE(list.isSelected("c"));
  EXPECT_FALSE(list.isSelected("C"));
}

TEST_F(UserListTest, LevelsFollowTheAccessListAndLongProductsAlert) {
  int alerts = 0;
  list.setLongProductAlert([&] { ++alerts; });
  list.addUser("x", 0, "Home", "[STAR]-extra");
  EXPECT_EQ(alerts, 1);
  EXPECT_EQ(list.row(0).product, "[STAR]");
  list.setUserLevel("X", 4);
  EXPECT_EQ(list.row(0).level, 4);
  levels["x"] = 2;
  list.refreshAllLevels();
  EXPECT_EQ(list.row(0).level, 2);
}

TEST_F(UserListTest, NoMoreRowsThanAChannelHolds) {
  int alerts = 0;
  list.setFullAlert([&] { ++alerts; });
  for (int i = 0; i < UserList::kMaxUsers; ++i) list.addUser(("user" + std::to_string(i)).c_str(), 0, "Home", "[STAR]");
  EXPECT_EQ(list.userCount(), UserList::kMaxUsers);
  EXPECT_EQ(alerts, 0);  // exactly full is no overflow

  list.addUser("oneMore", 0x02, "Home", "[STAR]");
  EXPECT_EQ(list.userCount(), UserList::kMaxUsers);
  EXPECT_EQ(list.findUser("oneMore"), -1);
  EXPECT_EQ(alerts, 1);
  list.addUser("another", 0, "Home", "[STAR]");
  EXPECT_EQ(alerts, 1);  // reported once

  // A listed user still takes new values while the list is full.
  list.addUser("USER5", 0x02, "Home", "[SEXP]");
  EXPECT_EQ(list.row(0).name, "USER5");
  EXPECT_EQ(list.row(0).product, "[SEXP]");

  list.removeUser("user7", "Home");
  list.addUser("oneMore", 0, "Home", "[STAR]");
  EXPECT_GE(list.findUser("oneMore"), 0);

  list.clearUsers();  // a new channel: a new overflow is reported again
  for (int i = 0; i <= UserList::kMaxUsers; ++i) list.addUser(("user" + std::to_string(i)).c_str(), 0, "Home", "");
  EXPECT_EQ(alerts, 2);
}

// Records each announced edit as text, with the row count seen at that
// moment, so a test sees that the edit came while the old rows were there.
class EditRecorder : public UserListObserver {
 public:
  explicit EditRecorder(const UserList& list) : list_(list) {}
  void userListAboutToChange(const UserListEdit& e) override {
    static const char* kinds[] = {"insert", "remove", "move", "update", "reset"};
    log.push_back(std::string(kinds[e.kind]) + " " + std::to_string(e.row) +
                  (e.kind == UserListEdit::kMove ? ">" + std::to_string(e.to) : "") + " of " +
                  std::to_string(list_.userCount()));
  }
  void userListChanged() override { log.push_back("changed"); }
  std::vector<std::string> take() { return std::exchange(log, {}); }
  std::vector<std::string> log;

 private:
  const UserList& list_;
};

TEST_F(UserListTest, ObserverIsToldEachRowEditBeforeItHappens) {
  EditRecorder rec(list);
  list.setObserver(&rec);
  using V = std::vector<std::string>;
  list.addUser("ann", 0, "Home", "");
  list.addUser("bob", 0, "Home", "");
  EXPECT_EQ(rec.take(), (V{"insert 0 of 0", "changed", "insert 1 of 1", "changed"}));
  list.addUser("op", 0x02, "Home", "");  // operators go on top
  EXPECT_EQ(rec.take(), (V{"insert 0 of 2", "changed"}));
  list.addUser("BOB", 0, "Home", "");  // listed again, same bit: in place
  EXPECT_EQ(rec.take(), (V{"update 2 of 3", "changed"}));
  // Gaining the operator bit moves the row to just after the last operator;
  // losing it moves the row to just before the first of the rest.
  list.updateUserFlags("bob", 0x02);
  EXPECT_EQ(rec.take(), (V{"move 2>1 of 3", "changed"}));
  EXPECT_EQ(Names(), (V{"op", "BOB", "ann"}));
  list.addUser("op", 0, "Home", "");
  EXPECT_EQ(rec.take(), (V{"move 0>1 of 3", "changed"}));
  EXPECT_EQ(Names(), (V{"BOB", "op", "ann"}));
  list.updateUserFlags("bob", 0);  // the last operator: stays where it is
  EXPECT_EQ(rec.take(), (V{"move 0>0 of 3", "changed"}));
  list.setIdle("ann", true);
  list.setIdle("ann", true);  // already idle: nothing to tell
  list.setUserLevel("ann", 4);
  list.touchUser("nobody");
  EXPECT_EQ(rec.take(), (V{"update 2 of 3", "changed", "update 2 of 3", "changed"}));
  // Changes that keep the rows' count and order come without an edit.
  list.setSelected(1, true);
  list.selectNext();
  list.setLabel("Elsewhere");
  EXPECT_EQ(rec.take(), (V{"changed", "changed", "changed"}));
  list.removeUser("op", "Home");
  list.removeUser("op", "Home");  // not listed any more: nothing happens
  EXPECT_EQ(rec.take(), (V{"remove 1 of 3", "changed"}));
  list.clearUsers();
  EXPECT_EQ(rec.take(), (V{"reset 0 of 2", "changed"}));
  list.setObserver(nullptr);
}

}  // namespace
}  // namespace tolvik
