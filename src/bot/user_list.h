#pragma once
// The users present in the channel: the roster the moderation code reads and
// writes, with the rules of the list (icon choice, operators first, idle
// marks, selection). Views (the Qt list, the terminal) observe it; the data
// and its rules live here so they run and are tested without widgets.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tolvik {

struct UserRow {
  std::string name;
  uint32_t flags = 0;
  std::string product;  // as the server sent it, cut to 6 characters
  int level = 0;
  int icon = 0;          // 0..18 normal, 39..57 idle
  int64_t activity = 0;  // seconds; bit 0 is 0 for an operator, 1 for everyone else
  bool selected = false;
};

// What the next userListChanged() will have done to the rows, told before
// the rows change so a view can still read the old ones.
struct UserListEdit {
  enum Kind {
    kInsert,  // a row appears at `row`
    kRemove,  // the row at `row` goes
    kMove,    // the row at `row` moves to `to` (numbered after the move)
    kUpdate,  // the row at `row` changes in place
    kReset,   // anything else: many rows, or the whole list
  };
  Kind kind = kReset;
  int row = 0;
  int to = 0;
};

class UserListObserver {
 public:
  virtual ~UserListObserver() = default;
  // Rows are about to change as `edit` says; userListChanged() follows once
  // they have. A userListChanged() without this before it kept the rows'
  // count and order (selection, idle marks, levels, the label).
  virtual void userListAboutToChange(const UserListEdit& edit) { (void)edit; }
  // Rows were added, removed, changed or reordered; the label may have changed.
  virtual void userListChanged() = 0;
};

class UserList {
 public:
  static constexpr int kIdleOffset = 39;
  static constexpr int kLevelIconBase = 19;
  static constexpr int kProductLength = 6;
  // No channel holds more users than this; further names are not listed, so
  // a flood of joins without leaves cannot grow the list without end.
  static constexpr int kMaxUsers = 1000;

  using LevelLookup = std::function<int(const char* name)>;
  using Clock = std::function<int64_t()>;  // now, in seconds

  explicit UserList(LevelLookup level = nullptr, Clock clock = nullptr);

  void setObserver(UserListObserver* observer) { observer_ = observer; }
  UserListObserver* observer() const { return observer_; }
  void setLevelLookup(LevelLookup level) { level_ = std::move(level); }
  // Called when a product text longer than 6 characters arrives (a short beep).
  void setLongProductAlert(std::function<void()> alert) { long_product_alert_ = std::move(alert); }
  // Called the first time a new name finds the list full (once until the
  // list is cleared, as on entering a channel).
  void setFullAlert(std::function<void()> alert) { full_alert_ = std::move(alert); }

  // A name already listed keeps its one row, which takes the new flags,
  // product, level and activity time. A new name is left out while the list
  // holds kMaxUsers rows.
  void addUser(const char* name, uint32_t flags, const char* label, const char* product);
  void updateUserFlags(const char* name, uint32_t flags);
  // Returns the removed row's product text ("" when not listed).
  std::string removeUser(const char* name, const char* label);
  void clearUsers();
  // Sets the caption from `text` (with the user count when the list is not empty).
  void setLabel(const char* text);
  int findUser(const char* name) const;
  int userCount() const { return static_cast<int>(rows_.size()); }
  void touchUser(const char* name);
  void setIdle(const char* name, bool idle);
  void setUserLevel(const char* name, int level);
  void refreshAllLevels();
  // Minutes since the user was last active, -1 when not listed.
  int idleMinutes(const char* name) const;
  // A selected row's name equals `name` exactly (case-sensitive).
  bool isSelected(const char* name) const;
  // All names joined by ", " in list order.
  std::string allNames() const;
  int firstSelected() const;

  // Gives every user idle for more than 14 minutes the idle icon.
  void markIdleUsers();

  // Selection.
  void setSelected(int row, bool selected);
  void clearSelection();
  // Ctrl+Up / Ctrl+Down: move the first selection up or down, wrapping.
  void selectPrevious();
  void selectNext();
  // The selected names, each followed by a space, trailing spaces removed.
  std::string selectedNames() const;

  const UserRow& row(int index) const { return rows_[static_cast<size_t>(index)]; }
  const std::vector<UserRow>& rows() const { return rows_; }
  // The caption: the channel text, with " (%i)" users when the list is not empty.
  const std::string& label() const { return label_; }

  static int ChooseIcon(uint32_t flags, std::string_view product);
  int64_t Now() const;

 private:
  void changed();
  void aboutToChange(UserListEdit::Kind kind, size_t row, size_t to = 0);
  UserRow* find(const char* name);
  // Moves the row at `from` to `to`; the rows between shift by one.
  void moveRow(size_t from, size_t to);
  // The row at `at` just gained or lost the operator bit: it goes where a
  // stable sort by that bit would put it (last operator, or first of the rest).
  void placeAfterOperatorChange(size_t at, bool now_operator);
  // Brings the index up to date for rows [from, to).
  void reindex(size_t from, size_t to);

  // Operators first: rows [0, operators_) carry the operator bit, the rest do
  // not, so adding and re-flagging a user moves rows instead of sorting.
  std::vector<UserRow> rows_;
  size_t operators_ = 0;
  // Lower-case name -> row; a name has at most one row.
  std::unordered_map<std::string, size_t> index_;
  // Beside each row, its entry in index_ (entries stay put when the map
  // grows), so shifting rows renumbers them without hashing a name.
  std::vector<size_t*> positions_;
  std::string label_;
  LevelLookup level_;
  Clock clock_;
  std::function<void()> long_product_alert_;
  std::function<void()> full_alert_;
  bool full_reported_ = false;
  UserListObserver* observer_ = nullptr;
};

}  // namespace tolvik
