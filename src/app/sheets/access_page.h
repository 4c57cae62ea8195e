#pragma once
// The "Access" page of the "Response Configurator": the [Commands] level of
// each command, and the users of users.lst with their levels. Every button
// writes at once; users.lst is rewritten with the access list's own rewrite.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "app/sheets/page_values.h"

namespace tolvik {

class AccessPage {
 public:
  static constexpr int kCommandLevelMin = 0;
  static constexpr int kCommandLevelMax = 10;
  static constexpr int kUserLevelMin = 0;
  static constexpr int kUserLevelMax = 9;
  // A command without a [Commands] key is open to everybody, and shows so.
  static constexpr int kMissingCommandLevel = -1;
  static constexpr std::string_view kMissingCommandLevelText = "-1 (everybody)";
  static constexpr size_t kCommandNameLimit = 250;
  static constexpr size_t kUserNameLimit = 15;

  static constexpr std::string_view kHelpText =
      "\r\nThis tab allows you to add new users, adjust user levels, and adjust the levels required to access "
      "specific commands.  All commands available are listed in the Command pull-down box.  You may adjust what "
      "user level is required to use each command.  The Edit Tags brings up another window in which you may "
      "\"tag\" /say commands according to the level of the user who sent the command.\r\n";

  // `workingDir` holds Bot.ini and users.lst.
  explicit AccessPage(std::string workingDir);

  // Fills the command list and reads the names of users.lst (none when it
  // cannot be read); all buttons start disabled.
  void Init();

  // ---- "Select Command Levels"
  const std::vector<std::string>& commands() const { return commands_; }
  // Chooses a command by its position in commands(), or by name (any case);
  // false when there is no such command.
  bool ChooseCommand(int index);
  bool ChooseCommand(std::string_view name);
  const std::string& chosenCommand() const { return command_; }
  const std::string& commandLevelText() const { return command_level_text_; }
  // The spin: +1 raises the level by one; the result stays within 0..10.
  void StepCommandLevel(int delta);
  void SetCommandLevelText(std::string_view text);
  bool saveEnabled() const { return save_enabled_; }
  // "Save": writes [Commands] <command> = the level. Refused (nothing
  // written) without a command or for a level that is not 0..10.
  PageOutcome SaveCommandLevel();

  // ---- "Add User/Modify Level"
  // users.lst's names, sorted without regard to case.
  const std::vector<std::string>& users() const { return users_; }
  int selectedUser() const { return selected_user_; }
  const std::string& userNameText() const { return user_name_; }
  const std::string& userLevelText() const { return user_level_text_; }
  void ChooseUser(int index);
  // Typing a name (cut to 15 characters) that the list holds selects it.
  void TypeUserName(std::string_view text);
  // The spin: +1 raises the level by one; the result stays within 0..9.
  void StepUserLevel(int delta);
  void SetUserLevelText(std::string_view text);
  bool addSaveEnabled() const { return add_save_enabled_; }
  bool deleteEnabled() const { return delete_enabled_; }
  // "Add/Save": puts the name under the level's header (a missing header is
  // added in level order); level 0 takes the name out of users.lst. Refused,
  // with users.lst untouched, for a name that cannot be listed, a level that
  // is not 0..9, or a users.lst that cannot be read completely.
  PageOutcome AddOrSaveUser();
  // "Delete": takes the selected user out of users.lst.
  PageOutcome DeleteUser();

 private:
  void ReadUsers();
  void UpdateButtons();
  void SelectUser(int index);
  int FindUser(std::string_view name) const;
  int LevelInFile(std::string_view name) const;

  std::string working_dir_;
  std::string bot_ini_;
  std::vector<std::string> commands_;
  std::string command_;
  std::string command_level_text_;
  int stored_command_level_ = kMissingCommandLevel;
  bool save_enabled_ = false;

  std::vector<std::string> users_;
  int selected_user_ = -1;
  std::string user_name_;
  std::string user_level_text_;
  int file_level_ = 0;
  int shown_level_ = -2;
  bool add_save_enabled_ = false;
  bool delete_enabled_ = false;
};

}  // namespace tolvik
