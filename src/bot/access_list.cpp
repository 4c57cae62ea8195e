#include "bot/access_list.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "app/chat_display.h"
#include "bot/bot_context.h"
#include "bot/pending_actions.h"
#include "bot/read_word.h"
#include "bot/users_file.h"
#include "net/outgoing_queue.h"

namespace tolvik {
namespace {

// Names are cut to 28 characters, level words to 18.
constexpr int kNameCap = 30;
constexpr int kLevelWordCap = 20;
// Longest server line we build, its LF included.
constexpr size_t kMaxServerLine = OutgoingQueue::kLineSize - 1;

// The first kScanLimit bytes of a file as a text-mode reader sees them
// (CR LF read as LF), and whether the file goes on beyond them.
struct FilePrefix {
  char data[AccessList::kScanLimit + 1];
  size_t size = 0;
  bool more = false;
  char next = '\0';  // the first byte past the limit, when `more`
};

bool ReadFilePrefix(const std::string& path, FilePrefix& out) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  const size_t want = AccessList::kScanLimit + 1;
  size_t got = 0;
  bool pending_cr = false;
  char chunk[4096];
  while (got < want) {
    size_t n = std::fread(chunk, 1, sizeof chunk, f);
    if (n == 0) break;
    for (size_t i = 0; i < n && got < want; ++i) {
      char c = chunk[i];
      if (pending_cr) {
        pending_cr = false;
        if (c != '\n') out.data[got++] = '\r';
        if (got == want) break;
      }
      if (c == '\r')
        pending_cr = true;
      else
        out.data[got++] = c;
    }
  }
  if (pending_cr && got < want) out.data[got++] = '\r';
  std::fclose(f);
  out.more = got > AccessList::kScanLimit;
  out.size = out.more ? AccessList::kScanLimit : got;
  out.next = out.more ? out.data[AccessList::kScanLimit] : '\0';
  return true;
}

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

bool AccessList::NameLookup(const char* file, const char* name, bool by_level, int* level) const {
  if (name == nullptr || *name == '\0') return false;
  FilePrefix prefix;
  if (!ReadFilePrefix(JoinPath(bot_.WorkingDir(), file), prefix)) return false;
  std::string_view text(prefix.data, prefix.size);
  std::string_view wanted(name);
  ChatDisplay* report = &bot_.Display();

  int current = 0;
  char word[kNameCap];
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = pos + static_cast<size_t>(ReadWord(text, pos, word, sizeof word, report));
    // A word that goes on past what was stored (too long, or cut by the scan
    // limit) is nobody's name, and its rest is no word of its own.
    bool cut = end < text.size() ? !IsWordDelimiter(text[end])
                                 : prefix.more && !IsWordDelimiter(prefix.next);
    if (cut) end = SkipRestOfWord(text, end);
    if (by_level && IsLevelHeader(word)) {
      current = HeaderLevel(word);
    } else if (!cut && SameName(word, wanted)) {
      if (level != nullptr) *level = current;
      return true;
    }
    pos = end + 1;
  }
  return false;
}

int AccessList::GetUserLevel(const char* name) const {
  int level = 0;
  return NameLookup(kUsersFileName, name, true, &level) ? level : 0;
}

bool AccessList::IsAutoBanned(const char* name) const {
  return NameLookup(kAutobanFileName, name, false, nullptr);
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
  if (own > level || override_levels) {
    queue.WhisperTo(speaker, "%s has been added at level %d\n", name, level);
  } else if (own <= 1) {
    // Nothing below the speaker's own level is left to add at.
    queue.WhisperTo(speaker, "Your level is not high enough to add %s\n", name);
    return;
  } else {
    level = own - 1;
    queue.WhisperTo(speaker, "Your level is not high enough to add %s at level %s - adding at %d instead.\n",
                    name, level_word, level);
  }
  // Any earlier occurrence sits where it reads as level 0 and would hide the new one.
  rewrite.RemoveName(name);
  rewrite.PlaceName(name, level);
  display.print(TextType::BotInfo, "User Added: %s", name);
  if (Finish(rewrite, "AddUser")) bot_.UserLevelChanged(name, level);
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
  bool found = false;
  bool deleted = false;
  std::vector<std::string>& tokens = rewrite.tokens();
  for (size_t i = 0; i < tokens.size();) {
    if (IsLevelHeader(tokens[i])) {
      section = HeaderLevel(tokens[i]);
    } else if (SameName(tokens[i], name)) {
      found = true;
      if (section >= own && !override_levels) {
        queue.WhisperTo(speaker, "Your level is not high enough to delete %s\n", name);
      } else {
        tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(i));
        deleted = true;
        queue.WhisperTo(speaker, "%s has been deleted\n", name);
        continue;
      }
    }
    ++i;
  }
  if (!found) queue.WhisperTo(speaker, "%s is not in the list\n", name);
  // A refused occurrence may still decide the level, so ask the file.
  if (Finish(rewrite, "DelUser") && (deleted || !found)) bot_.UserLevelChanged(name, GetUserLevel(name));
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
    SendModeration("/kick ", line, kKickNameAt, speaker, tagged);
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
    if (SendModeration("/ban ", line, kBanNameAt, speaker, tagged))
      pending_.RecordPendingCommand(line, speaker, &bot_.Display());
  } else {
    bot_.Queue().WhisperTo(speaker, "Your level is not high enough to ban %s\n", target);
  }
}

void AccessList::UnbanUser(const char* line, const char* speaker, int speaker_level) {
  if (line == nullptr) line = "";
  char target[kNameCap];
  ReadWord(line, kUnbanNameAt, target, sizeof target, &bot_.Display());
  if (speaker_level > GetUserLevel(target)) {
    if (bot_.Queue().Say("/unban %s\n", target) == OutgoingQueue::kQueued)
      pending_.RecordPendingCommand(line, speaker, &bot_.Display());
  } else if (SameName(target, speaker)) {
    bot_.Queue().WhisperTo(speaker, "You cannot unban yourself\n");
  } else {
    bot_.Queue().WhisperTo(speaker, "Your level is not high enough to unban %s\n", target);
  }
}

}  // namespace tolvik
