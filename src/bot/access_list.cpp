#include "bot/access_list.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "display/chat_display.h"
#include "bot/bot_context.h"
#include "bot/pending_actions.h"
#include "bot/read_word.h"
#include "bot/users_file.h"
#include "net/outgoing_queue.h"

namespace tolvik {
namespace {

// What follows the name of a kick or ban line (its reason), up to a line end.
std::string ReasonAfterName(std::string_view line, size_t name_at) {
  if (name_at >= line.size()) return std::string();
  std::string_view rest = line.substr(name_at);
  rest.remove_prefix(std::min(rest.size(), rest.find_first_not_of(' ')));
  const size_t end = rest.find(' ');
  rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  return std::string(rest.substr(0, rest.find_first_of("\r\n")));
}

// Names are cut to 28 characters, level words to 18.
constexpr int kNameCap = 30;
constexpr int kLevelWordCap = 20;
// Longest server line we build, its LF included.
constexpr size_t kMaxServerLine = OutgoingQueue::kLineSize - 1;

// End of the word that starts before `end` in `text`: past any characters
// ReadWord left unread because the word was too long.
size_t SkipRestOfWord(std::string_view text, size_t end) {
  while (end < text.size() && !IsWordDelimiter(text[end])) ++end;
  return end;
}

// A copy fit to be shown: control bytes become '?'.
std::string Printable(const char* text) {
  std::string out(text);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  return out;
}

}  // namespace

AccessList::AccessList(BotContext& bot, PendingActionQueue& pending) : bot_(bot), pending_(pending) {}

int AccessList::GetUserLevel(const char* name) const {
  if (name == nullptr) return 0;
  int level = users_.Find(bot_.WorkingDir(), kUsersFileName, name, &bot_.Display());
  return level < 0 ? 0 : level;
}

bool AccessList::IsAutoBanned(const char* name) const {
  return name != nullptr && autoban_.Find(bot_.WorkingDir(), kAutobanFileName, name, &bot_.Display()) >= 0;
}

bool AccessList::Finish(UsersFileRewrite& rewrite, const char* operation) {
  UsersFileRewrite::Outcome outcome = rewrite.Commit();
  ChatDisplay& display = bot_.Display();
  if (!outcome.list_ok) display.print(TextType::BotInfo, "Error #004 - %s - UserList not closed", operation);
  if (!outcome.temp_ok) display.print(TextType::BotInfo, "Error #004 - %s - TempFile not closed", operation);
  if (outcome.list_ok && outcome.temp_ok && !outcome.replaced)
    display.print(TextType::BotInfo, "Error #005 - %s - UserList not replaced", operation);
  return outcome.replaced;
}

void AccessList::AddUser(const char* line, const char* speaker, bool override_levels) {
  ChatDisplay& display = bot_.Display();
  OutgoingQueue& queue = bot_.Queue();
  std::string_view text(line != nullptr ? line : "");

  char name[kNameCap];
  size_t name_end = kAddNameAt + static_cast<size_t>(ReadWord(text, kAddNameAt, name, sizeof name, &display));
  name_end = SkipRestOfWord(text, name_end);
  if (!IsListableName(name)) {
    queue.WhisperTo(speaker, "Invalid Name: %s\n", Printable(name).c_str());
    return;
  }
  if (GetUserLevel(name) != 0) {
    queue.WhisperTo(speaker, "%s is already in the list\n", name);
    return;
  }
  int own = GetUserLevel(speaker);

  int level = 1;
  char level_word[kLevelWordCap] = "";
  if (text.size() > name_end + 1 && (own >= bot_.CommandLevel("Promote") || override_levels)) {
    ReadWord(text, name_end + 1, level_word, sizeof level_word, &display);
    long value = std::strtol(level_word, nullptr, 10);
    if (value < 0 || value > 9) {
      queue.WhisperTo(speaker, "Invalid Level: %s\n", level_word);
      return;
    }
    level = value == 0 ? 1 : static_cast<int>(value);
  }

  UsersFileRewrite rewrite(bot_.WorkingDir());
  if (!rewrite.Open()) {
    display.print(TextType::BotInfo, "ERROR: No users.lst found or harddrive full!");
    return;
  }
  const bool lowered = !(own > level || override_levels);
  if (lowered && own <= 1) {
    // Nothing below the speaker's own level is left to add at.
    queue.WhisperTo(speaker, "Your level is not high enough to add %s\n", name);
    return;
  }
  if (lowered) level = own - 1;
  // The name reads as level 0: an occurrence where it reads so would hide the
  // new one and goes. Occurrences under a ranked header are left alone.
  rewrite.RemoveNameAtLevel(name, 0);
  rewrite.PlaceName(name, level);
  // Answer only once the new list is in place: a reply must never promise
  // what a crash could still take back.
  if (!Finish(rewrite, "AddUser")) return;
  if (lowered)
    queue.WhisperTo(speaker, "Your level is not high enough to add %s at level %s - adding at %d instead.\n",
                    name, level_word, level);
  else
    queue.WhisperTo(speaker, "%s has been added at level %d\n", name, level);
  display.print(TextType::BotInfo, "User Added: %s", name);
  bot_.UserLevelChanged(name, level);
}

void AccessList::DelUser(const char* line, const char* speaker, bool override_levels) {
  ChatDisplay& display = bot_.Display();
  OutgoingQueue& queue = bot_.Queue();
  UsersFileRewrite rewrite(bot_.WorkingDir());
  if (!rewrite.Open()) {
    display.print(TextType::BotInfo, "ERROR: users.lst not found, or harddrive full!");
    return;
  }
  char name[kNameCap];
  ReadWord(line != nullptr ? line : "", kDelNameAt, name, sizeof name, &display);
  int own = GetUserLevel(speaker);

  int section = 0;
  std::vector<bool> removed;  // each occurrence in file order: dropped, or refused
  std::vector<std::string>& tokens = rewrite.tokens();
  for (size_t i = 0; i < tokens.size();) {
    if (IsLevelHeader(tokens[i])) {
      section = HeaderLevel(tokens[i]);
    } else if (SameName(tokens[i], name)) {
      removed.push_back(override_levels || section < own);
      if (removed.back()) {
        tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(i));
        continue;
      }
    }
    ++i;
  }
  // Answer only once the new list is in place; a list that could not be
  // replaced deleted nothing.
  const bool replaced = Finish(rewrite, "DelUser");
  bool deleted = false;
  for (bool dropped : removed) {
    if (!dropped)
      queue.WhisperTo(speaker, "Your level is not high enough to delete %s\n", name);
    else if (replaced)
      queue.WhisperTo(speaker, "%s has been deleted\n", name);
    deleted = deleted || dropped;
  }
  if (removed.empty()) queue.WhisperTo(speaker, "%s is not in the list\n", name);
  // A refused occurrence may still decide the level, so ask the file.
  if (replaced && (deleted || removed.empty())) bot_.UserLevelChanged(name, GetUserLevel(name));
}

void AccessList::PromoteUser(const char* line, const char* speaker, bool override_levels) {
  MoveByOne(line, speaker, override_levels, true);
}

void AccessList::DemoteUser(const char* line, const char* speaker, bool override_levels) {
  MoveByOne(line, speaker, override_levels, false);
}

void AccessList::MoveByOne(const char* line, const char* speaker, bool override_levels, bool up) {
  ChatDisplay& display = bot_.Display();
  OutgoingQueue& queue = bot_.Queue();
  char name[kNameCap];
  ReadWord(line != nullptr ? line : "", up ? kPromoteNameAt : kDemoteNameAt, name, sizeof name, &display);
  int current = IsListableName(name) ? GetUserLevel(name) : 0;
  if (current == 0) {
    queue.WhisperTo(speaker, "%s is not in the list!\n", name);
    return;
  }
  int own = GetUserLevel(speaker);
  int next;
  if (up) {
    if (current >= 9 || !(override_levels || own > current + 1)) {
      queue.WhisperTo(speaker, "You cannot promote %s any higher!\n", name);
      return;
    }
    next = current + 1;
  } else {
    if (current <= 1 || !(override_levels || own > current)) {
      queue.WhisperTo(speaker, "You cannot demote %s!\n", name);
      return;
    }
    next = current - 1;
  }

  UsersFileRewrite rewrite(bot_.WorkingDir());
  if (!rewrite.Open()) {
    display.print(TextType::BotInfo, "ERROR: users.lst not found or harddrive full!");
    return;
  }
  rewrite.RemoveName(name);
  rewrite.PlaceName(name, next);
  if (!Finish(rewrite, up ? "PromoteUser" : "DemoteUser")) return;
  queue.WhisperTo(speaker, "%s is now level %d\n", name, next);
  bot_.UserLevelChanged(name, next);
}

bool AccessList::SendModeration(const char* command, const char* line, size_t rest_at, const char* speaker,
                                bool tagged) {
  std::string_view text(line);
  std::string_view rest = rest_at < text.size() ? text.substr(rest_at) : std::string_view();
  // One command is one server line: nothing after a line end travels with it.
  rest = rest.substr(0, rest.find_first_of("\r\n"));
  std::string tag;
  if (tagged) {
    tag = " - by ";
    tag += speaker;
  }
  // Cut the reason, never the tag, so the line fits the server's limit.
  const size_t command_len = std::strlen(command);
  if (command_len + tag.size() + 1 > kMaxServerLine) tag.resize(kMaxServerLine - command_len - 1);
  size_t room = kMaxServerLine - command_len - tag.size() - 1;
  if (rest.size() > room) rest = rest.substr(0, room);
  return bot_.Queue().Say("%s%.*s%s\n", command, static_cast<int>(rest.size()), rest.data(), tag.c_str()) ==
         OutgoingQueue::kQueued;
}

void AccessList::KickUser(const char* line, const char* speaker, int speaker_level, bool tagged) {
  if (line == nullptr) line = "";
  char target[kNameCap];
  ReadWord(line, kKickNameAt, target, sizeof target, &bot_.Display());
  if (speaker_level > GetUserLevel(target)) {
    if (SendModeration("/kick ", line, kKickNameAt, speaker, tagged))
      bot_.RecordModeration(speaker, "kick", target, ReasonAfterName(line, kKickNameAt).c_str());
    if (!SameName(speaker, bot_.OwnName())) {
      kick_requested_ = true;
      kick_requester_ = speaker;
    }
  } else {
    bot_.Queue().WhisperTo(speaker, "Your level is not high enough to kick %s\n", target);
  }
}

void AccessList::BanUser(const char* line, const char* speaker, int speaker_level, bool tagged) {
  if (line == nullptr) line = "";
  char target[kNameCap];
  ReadWord(line, kBanNameAt, target, sizeof target, &bot_.Display());
  if (speaker_level > GetUserLevel(target)) {
    if (SendModeration("/ban ", line, kBanNameAt, speaker, tagged)) {
      pending_.RecordPendingCommand(line, speaker, &bot_.Display());
      bot_.RecordModeration(speaker, "ban", target, ReasonAfterName(line, kBanNameAt).c_str());
    }
  } else {
    bot_.Queue().WhisperTo(speaker, "Your level is not high enough to ban %s\n", target);
  }
}

void AccessList::UnbanUser(const char* line, const char* speaker, int speaker_level) {
  if (line == nullptr) line = "";
  char target[kNameCap];
  ReadWord(line, kUnbanNameAt, target, sizeof target, &bot_.Display());
  if (speaker_level > GetUserLevel(target)) {
    if (bot_.Queue().Say("/unban %s\n", target) == OutgoingQueue::kQueued) {
      pending_.RecordPendingCommand(line, speaker, &bot_.Display());
      bot_.RecordModeration(speaker, "unban", target, "");
    }
  } else if (SameName(target, speaker)) {
    bot_.Queue().WhisperTo(speaker, "You cannot unban yourself\n");
  } else {
    bot_.Queue().WhisperTo(speaker, "Your level is not high enough to unban %s\n", target);
  }
}

}  // namespace tolvik
