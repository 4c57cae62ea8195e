#include "app/sheets/access_page.h"

#include <algorithm>

#include "storage/atomic_file.h"
#include "settings/config.h"
#include "storage/ini_text.h"
#include "storage/private_profile.h"
#include "storage/profile_file.h"
#include "bot/command_names.h"
#include "bot/read_word.h"
#include "bot/users_file.h"

namespace tolvik {
namespace {

// users.lst's tokens as the rewrite reads them; false when it cannot be read.
bool ReadTokens(const std::string& path, std::vector<std::string>& tokens) {
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) return false;
  size_t i = 0;
  while (i < bytes.size()) {
    while (i < bytes.size() && ini::IsSpace(bytes[i])) ++i;
    size_t start = i;
    while (i < bytes.size() && !ini::IsSpace(bytes[i])) ++i;
    if (i > start) tokens.emplace_back(bytes, start, i - start);
  }
  return true;
}

bool LessIgnoringCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return ini::FoldAscii(x) < ini::FoldAscii(y); });
}

int Clamp(int value, int delta, int lo, int hi) {
  long long v = static_cast<long long>(value) + delta;
  return static_cast<int>(std::clamp<long long>(v, lo, hi));
}

PageOutcome Committed(UsersFileRewrite& rewrite) {
  UsersFileRewrite::Outcome outcome = rewrite.Commit();
  if (outcome.replaced) return PageOutcome::Done();
  if (!outcome.list_ok) return PageOutcome::Refused("users.lst could not be read completely; it was left as it was.");
  return PageOutcome::Refused("users.lst could not be rewritten; it was left as it was.");
}

}  // namespace

AccessPage::AccessPage(std::string workingDir)
    : working_dir_(std::move(workingDir)), bot_ini_(ConfigPaths::FromWorkingDirectory(working_dir_).botIni) {}

void AccessPage::Init() {
  commands_.assign(kCommandNameTable.begin(), kCommandNameTable.end());
  command_.clear();
  command_level_text_.clear();
  save_enabled_ = false;
  user_name_.clear();
  user_level_text_.clear();
  selected_user_ = -1;
  ReadUsers();
  add_save_enabled_ = false;
  delete_enabled_ = false;
}

// ---- command levels

bool AccessPage::ChooseCommand(int index) {
  if (index < 0 || index >= static_cast<int>(commands_.size())) return false;
  command_ = commands_[static_cast<size_t>(index)];
  // The level the bot applies: a missing key reads as -1, as the interpreters read it.
  const std::string stored = PrivateProfile::ReadString("Commands", command_, "", 32, bot_ini_);
  stored_command_level_ = PrivateProfile::ReadInt("Commands", command_, kMissingCommandLevel, bot_ini_);
  command_level_text_ =
      stored.empty() ? std::string(kMissingCommandLevelText) : std::to_string(stored_command_level_);
  save_enabled_ = false;
  return true;
}

bool AccessPage::ChooseCommand(std::string_view name) {
  for (size_t i = 0; i < commands_.size(); ++i)
    if (SameName(commands_[i], name)) return ChooseCommand(static_cast<int>(i));
  return false;
}

void AccessPage::StepCommandLevel(int delta) {
  int value = Clamp(LeadingNumber(command_level_text_), delta, kCommandLevelMin, kCommandLevelMax);
  command_level_text_ = std::to_string(value);
  save_enabled_ = !command_.empty() && value != stored_command_level_;
}

void AccessPage::SetCommandLevelText(std::string_view text) {
  command_level_text_ = std::string(text);
  save_enabled_ = !command_.empty() && LeadingNumber(text) != stored_command_level_;
}

PageOutcome AccessPage::SaveCommandLevel() {
  if (command_.empty()) return PageOutcome::Refused("Choose a command first.");
  int level = 0;
  PageOutcome checked =
      CheckNumberInRange(command_level_text_, kCommandLevelMin, kCommandLevelMax, "Level Required", level);
  if (!checked) return checked;
  if (!ProfileFile::Write("Commands", command_, std::to_string(level), bot_ini_))
    return PageOutcome::Refused("The level of " + command_ + " could not be saved in Bot.ini.");
  stored_command_level_ = level;
  command_level_text_ = std::to_string(level);
  save_enabled_ = false;
  return PageOutcome::Done();
}

// ---- users

void AccessPage::ReadUsers() {
  users_.clear();
  std::vector<std::string> tokens;
  if (!ReadTokens(JoinPath(working_dir_, kUsersFileName), tokens)) return;
  for (std::string& token : tokens)
    if (!IsLevelHeader(token) && FindUser(token) < 0) users_.push_back(std::move(token));
  std::stable_sort(users_.begin(), users_.end(), LessIgnoringCase);
}

int AccessPage::FindUser(std::string_view name) const {
  for (size_t i = 0; i < users_.size(); ++i)
    if (SameName(users_[i], name)) return static_cast<int>(i);
  return -1;
}

int AccessPage::LevelInFile(std::string_view name) const {
  std::vector<std::string> tokens;
  if (!ReadTokens(JoinPath(working_dir_, kUsersFileName), tokens)) return 0;
  int level = 0;
  for (const std::string& token : tokens) {
    if (IsLevelHeader(token))
      level = HeaderLevel(token);
    else if (SameName(token, name))
      return level;
  }
  return 0;
}

void AccessPage::SelectUser(int index) {
  selected_user_ = index;
  user_name_ = users_[static_cast<size_t>(index)];
  file_level_ = LevelInFile(user_name_);
  user_level_text_ = std::to_string(file_level_);
  shown_level_ = file_level_;
}

void AccessPage::ChooseUser(int index) {
  if (index < 0 || index >= static_cast<int>(users_.size())) {
    selected_user_ = -1;
  } else {
    SelectUser(index);
  }
  UpdateButtons();
}

void AccessPage::TypeUserName(std::string_view text) {
  user_name_ = CutToLimit(text, kUserNameLimit);
  shown_level_ = -2;
  int index = FindUser(user_name_);
  if (index >= 0) {
    SelectUser(index);
  } else {
    selected_user_ = -1;
  }
  UpdateButtons();
}

void AccessPage::StepUserLevel(int delta) {
  int value = Clamp(LeadingNumber(user_level_text_), delta, kUserLevelMin, kUserLevelMax);
  user_level_text_ = std::to_string(value);
  shown_level_ = value;
  UpdateButtons();
}

void AccessPage::SetUserLevelText(std::string_view text) {
  user_level_text_ = std::string(text);
  shown_level_ = LeadingNumber(text);
  UpdateButtons();
}

void AccessPage::UpdateButtons() {
  if (selected_user_ < 0 || shown_level_ != file_level_) {
    delete_enabled_ = false;
    add_save_enabled_ = !user_name_.empty() && !user_level_text_.empty();
  } else {
    delete_enabled_ = true;
    add_save_enabled_ = false;
  }
}

PageOutcome AccessPage::AddOrSaveUser() {
  const std::string name = user_name_;
  if (!IsListableName(name))
    return PageOutcome::Refused("\"" + name +
                                "\" cannot be listed: a user name has no blanks or commas and does not begin "
                                "with \"[Lev\".");
  int level = 0;
  PageOutcome checked = CheckNumberInRange(user_level_text_, kUserLevelMin, kUserLevelMax, "Access Level", level);
  if (!checked) return checked;

  UsersFileRewrite rewrite(working_dir_);
  if (!rewrite.Open()) return PageOutcome::Refused("users.lst could not be opened; nothing was changed.");
  rewrite.RemoveName(name);
  if (level > 0) rewrite.PlaceName(name, level);
  PageOutcome committed = Committed(rewrite);
  if (!committed) return committed;

  ReadUsers();
  int index = FindUser(name);
  if (index >= 0) {
    SelectUser(index);
  } else {
    selected_user_ = -1;
    file_level_ = level;
    shown_level_ = level;
    user_level_text_ = std::to_string(level);
  }
  UpdateButtons();
  return PageOutcome::Done();
}

PageOutcome AccessPage::DeleteUser() {
  if (selected_user_ < 0) return PageOutcome::Refused("Choose a user of the list first.");
  const std::string name = users_[static_cast<size_t>(selected_user_)];
  UsersFileRewrite rewrite(working_dir_);
  if (!rewrite.Open()) return PageOutcome::Refused("users.lst could not be opened; nothing was changed.");
  rewrite.RemoveName(name);
  PageOutcome committed = Committed(rewrite);
  if (!committed) return committed;

  ReadUsers();
  selected_user_ = -1;
  user_level_text_.clear();
  file_level_ = 0;
  shown_level_ = 0;
  UpdateButtons();
  return PageOutcome::Done();
}

}  // namespace tolvik
