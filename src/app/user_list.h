#pragma once
// The users present in the channel: the roster the moderation code reads and
// writes, with the rules of the list (icon choice, operators first, idle
// marks, selection). Views (the Qt list, the terminal) observe it; the data
// and its rules live here so they run and are tested without widgets.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
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

class UserListObserver {
 public:
  virtual ~UserListObserver() = default;
  // Rows were added, removed, changed or reordered; the label may have changed.
  virtual void userListChanged() = 0;
};

class UserList {
 public:
  static constexpr int kIdleOffset = 39;
  static constexpr int kLevelIconBase = 19;
  static constexpr int kProductLength = 6;

  using LevelLookup = std::function<int(const char* name)>;
  using Clock = std::function<int64_t()>;  // now, in seconds

  explicit UserList(LevelLookup level = nullptr, Clock clock = nullptr);

  void setObserver(UserListObserver* observer) { observer_ = observer; }
  void setLevelLookup(LevelLookup level) { level_ = std::move(level); }
  // Called when a product text longer than 6 characters arrives (a short beep).
  void setLongProductAlert(std::function<void()> alert) { long_product_alert_ = std::move(alert); }

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
  void sortByOperator();
  void changed();
  UserRow* find(const char* name);

  std::vector<UserRow> rows_;
  std::string label_;
  LevelLookup level_;
  Clock clock_;
  std::function<void()> long_product_alert_;
  UserListObserver* observer_ = nullptr;
};

}  // namespace tolvik
