#include "bot/whisper_interpreter.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <string_view>

#include "display/chat_display.h"
#include "bot/bot_owner.h"
#include "storage/profile_file.h"
#include "bot/chat_bot.h"
#include "bot/read_word.h"

namespace tolvik {
namespace {

enum class Command {
  None, Say, Relay, Me, Kick, Ban, Unban, Designate, MakeOp, Join, Rejoin, Away, Level, Page,
  Add, Del, Promote, Demote, Forward, Unforward, Help, Lookup, Password, Who, Ip, TempBan, TempBans, ModLog
};

struct CommandWord {
  std::string_view word;
  Command command;
};

// The command words in matching order.
constexpr CommandWord kCommandWords[] = {
    {"say", Command::Say},         {"msg", Command::Relay},       {"m", Command::Relay},
    {"whisper", Command::Relay},   {"w", Command::Relay},         {"me", Command::Me},
    {"kick", Command::Kick},       {"ban", Command::Ban},         {"unban", Command::Unban},
    {"designate", Command::Designate}, {"makeop", Command::MakeOp}, {"join", Command::Join},
    {"rejoin", Command::Rejoin},   {"resign", Command::Rejoin},   {"away", Command::Away},
    {"level", Command::Level},     {"lvl", Command::Level},       {"page", Command::Page},
    {"add", Command::Add},         {"del", Command::Del},         {"promote", Command::Promote},
    {"demote", Command::Demote},   {"forward", Command::Forward}, {"unforward", Command::Unforward},
    {"help", Command::Help},       {"lookup", Command::Lookup},   {"password", Command::Password},
    {"who", Command::Who},         {"ip", Command::Ip},           {"tempban", Command::TempBan},
    {"tempbans", Command::TempBans}, {"modlog", Command::ModLog},
};

Command FindCommand(std::string_view word) {
  for (const CommandWord& c : kCommandWords)
    if (SameName(word, c.word)) return c.command;
  return Command::None;
}

// Characters that make a line a command to the server or to other bots.
bool IsCommandStart(char c) { return c == '/' || c == '.' || c == '!'; }

// The position of the first character of `text` at or after `from` that is
// not a blank (the size of `text` when there is none).
size_t SkipBlanks(std::string_view text, size_t from) {
  while (from < text.size() && text[from] == ' ') ++from;
  return std::min(from, text.size());
}

// The first character of `text` at or after `from` that is not a blank ('\0' at the end).
char FirstNonBlank(std::string_view text, size_t from) {
  from = SkipBlanks(text, from);
  return from < text.size() ? text[from] : '\0';
}

// Characters of whispered text (its LF not counted) that fit in one server
// line "/msg <target> <text>\n" of WhisperInterpreter::kMaxLine characters.
size_t WhisperRoom(const char* target) {
  const size_t overhead = std::strlen("/msg ") + std::strlen(target) + 1 + 1;
  return overhead >= WhisperInterpreter::kMaxLine ? 0 : WhisperInterpreter::kMaxLine - overhead;
}

// A list of names joined by ", " cut to at most `room` characters, at a name
// boundary when one fits.
std::string CutNameList(const std::string& names, size_t room) {
  if (names.size() <= room) return names;
  size_t cut = names.rfind(", ", room);
  return names.substr(0, cut == std::string::npos || cut == 0 ? room : cut);
}

std::string LocalTimeInParentheses() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char clock[16];
  std::strftime(clock, sizeof clock, "%H:%M:%S", &local);
  return std::string("(") + clock + ")";
}

}  // namespace

// ---- Page alarms ------------------------------------------------------------

PageAlarms::~PageAlarms() {
  if (worker_.joinable()) worker_.join();
}

bool PageAlarms::Start(BotOwner& owner) {
  if (Ringing()) return false;
  if (worker_.joinable()) worker_.join();
  done_.store(false);
  worker_ = std::thread([&owner, this] {
    owner.PageAlarm();
    done_.store(true);
  });
  return true;
}

// ---- The interpreter ----------------------------------------------------------

int ChatBot::OnWhisper(const char* name, uint32_t flags, const char* text) {
  return whisper_.OnWhisper(name, flags, text);
}

void ChatBot::MakeOpUser(const char* line, const char* speaker) { whisper_.MakeOpUser(line, speaker); }

int WhisperInterpreter::OnWhisper(const char* name, uint32_t, const char* text) {
  bot_.Users().setIdle(name, false);
  bot_.Users().touchUser(name);
  last_whisperer_ = name;

  const std::string first_word(text, std::strcspn(text, " "));

  if (bot_.LastSeen().find(name) == nullptr && bot_.Users().findUser(name) < 0)
    bot_.LastSeen().append(name, LocalTimeInParentheses());

  if (text[0] != '/') {
    PlainWhisper(name, text);
  } else if (!RunCommand(name, text, first_word)) {
    return 1;
  }
  RunWhisperScript(name, text, first_word);
  return 1;
}

void WhisperInterpreter::PlainWhisper(const char* name, const char* text) {
  ChatDisplay& display = bot_.Display();
  const std::string forward = bot_.ForwardTarget();
  if (forward.empty()) {
    display.print(TextType::Whispers, "<From: %s> %s", name, text);
    return;
  }
  display.print(TextType::Whispers, "<From: %s> %s (forwarded)", name, text);
  // The whisperer's name closes the forwarded line, so the text gives way when the line is full.
  const size_t room = WhisperRoom(forward.c_str());
  const size_t tail = std::strlen(name) + 3;  // " (" name ")"
  const int keep = static_cast<int>(room > tail ? room - tail : 0);
  bot_.Queue().WhisperTo(forward.c_str(), "%.*s (%s)\n", keep, text, name);
  bot_.Queue().WhisperTo(name, "Your message has been auto-forwarded to %s\n", forward.c_str());
}

void WhisperInterpreter::RunWhisperScript(const char* name, const char* text, const std::string& first_word) {
  if (!bot_.owner_.GetToggles().AutoRespond.state) return;
  bot_.RunHook({"Whisper", first_word, ProfileFile::Unescape(first_word, ProfileFile::kWriteEscapes)}, name, text);
}

bool WhisperInterpreter::RunCommand(const char* name, const char* text, const std::string& first_word) {
  ChatDisplay& display = bot_.Display();
  OutgoingQueue& queue = bot_.Queue();
  AccessList& access = bot_.Access();
  display.print(TextType::Whispers, "Command from %s: %s", name, text);
  const int level = access.GetUserLevel(name);
  char word[30];
  // Where the command word ends (ReadWord counts blanks it skipped before it).
  const size_t word_end = 1 + static_cast<size_t>(ReadWord(text, 1, word, sizeof word, &display));
  const Command command = FindCommand(word);
  const std::string_view whole(text);

  // Entry conditions: a row whose condition fails is not a command at all.
  switch (command) {
    case Command::None:
      return true;
    case Command::Say:
      // Nobody makes the bot say a command.
      if (IsCommandStart(FirstNonBlank(whole, 5))) return true;
      break;
    case Command::Me:
      if (level < bot_.CommandLevel("Me")) return true;
      break;
    case Command::Page:
      if (!bot_.owner_.GetToggles().AllowPage.state) return true;
      break;
    case Command::Help:
      if (level < bot_.CommandLevel("Help")) return true;
      break;
    default:
      break;
  }

  // A script.ini [Whisper] entry for the word replaces the built-in command.
  if (bot_.RunHook({"Whisper", first_word, ""}, name, text, /*run=*/false)) return true;

  auto allows = [&](const char* key) { return level >= bot_.CommandLevel(key); };
  // Runs `action` when the level allows the command, else sends the refusal.
  auto gate = [&](const char* key, auto&& action) {
    if (allows(key))
      action();
    else
      queue.WhisperTo(name, "Insufficient access level\n");
  };
  // Commands the bot gives to the server exactly as whispered.
  auto send_text = [&] { queue.Say("%s\n", text); };

  switch (command) {
    case Command::None:
      break;
    case Command::Say:
      if (allows("Say"))
        SayWithTag(name, text, level);
      else
        queue.WhisperTo(name, "Insufficient Access Level\n");
      break;
    case Command::Relay:
      return Relay(name, text, word_end, level);
    case Command::Me:
      send_text();
      break;
    case Command::Kick:  // below both levels: no answer
      if (allows("Kick"))
        access.KickUser(text, name, level, false);
      else if (allows("KickTagged"))
        access.KickUser(text, name, level, true);
      break;
    case Command::Ban:  // below both levels: no answer
      if (allows("Ban"))
        access.BanUser(text, name, level, false);
      else if (allows("BanTagged"))
        access.BanUser(text, name, level, true);
      break;
    case Command::Unban:
      gate("Unban", [&] { access.UnbanUser(text, name, level); });
      break;
    case Command::Designate:
      gate("Designate", [&] { Designate(name, text); });
      break;
    case Command::MakeOp:
      if (allows("MakeOp") && bot_.IsOperator()) {
        MakeOpUser(text, name);
        ResetHeir();
      } else {
        queue.WhisperTo(name, "Insufficient access level\n");
      }
      break;
    case Command::Join:
      gate("Join", send_text);
      break;
    case Command::Rejoin:
      gate("Rejoin", [&] {
        send_text();
        ResetHeir();
      });
      break;
    case Command::Away:
      gate("Away", send_text);
      break;
    case Command::Level:
      gate("Stats", [&] { LevelQuery(name, text, std::strlen(word), level); });
      break;
    case Command::Page:
      gate("Page", [&] { StartPageAlarm(); });
      break;
    case Command::Add:
      gate("Add", [&] { access.AddUser(text, name, false); });
      break;
    case Command::Del:
      gate("Del", [&] { access.DelUser(text, name, false); });
      break;
    case Command::Promote:
      gate("Promote", [&] { access.PromoteUser(text, name, false); });
      break;
    case Command::Demote:
      gate("Demote", [&] { access.DemoteUser(text, name, false); });
      break;
    case Command::Forward:
      gate("Forward", [&] { ForwardOn(name); });
      break;
    case Command::Unforward:
      gate("Forward", [&] { ForwardOff(name); });
      break;
    case Command::Help:
      bot_.SendHelp(name);
      break;
    case Command::Lookup:
      gate("Lookup", [&] {
        char target[20];
        ReadWord(whole, 8, target, sizeof target, &display);
        bot_.Aliases().showAliases(target, name);
      });
      break;
    case Command::Password:
      Password(name, text, level);
      break;
    case Command::Who:
      gate("Who", [&] { Who(name); });
      break;
    case Command::Ip:
      gate("IP", [&] { ReplyFitted(name, std::string("Server IP: ") + bot_.Server()); });
      break;
    case Command::TempBan:
    case Command::TempBans:
    case Command::ModLog: {
      Protection& protect = bot_.Protect();
      const int needed = command == Command::ModLog ? protect.ModLogLevel() : protect.TempBanLevel();
      if (level < needed)
        queue.WhisperTo(name, "Insufficient access level\n");
      else if (command == Command::TempBan)
        protect.TempBanCommand(text, name, level);
      else if (command == Command::TempBans)
        protect.ListTempBans(name);
      else
        protect.ModLogCommand(text, name);
      break;
    }
  }
  return true;
}

void WhisperInterpreter::SayWithTag(const char* name, const char* text, int level) {
  std::string tag;
  if (level >= 0 && level <= 9) {
    ProfileFile::Read("Messages", "Say" + std::to_string(level), "", tag, 50, bot_.Paths().botIni);
    // Stored with "=", "[" and "]" doubled; the channel sees the plain text.
    tag = IsUnset(tag) ? std::string() : ProfileFile::Unescape(tag, ProfileFile::kWriteEscapes);
    const size_t at = tag.find("%speaker");
    if (at != std::string::npos) tag.replace(at, std::strlen("%speaker"), name);
  }
  const size_t length = std::strlen(text);
  if (length <= 5) return;
  std::string message(text + 5, length - 5);
  // Message, blank, tag and LF must fit one line; the message gives way.
  if (message.size() + 1 + tag.size() + 1 > kMaxLine) message.resize(tag.size() < 250 ? 250 - tag.size() : 0);
  bot_.Queue().Say("%s %s\n", message.c_str(), tag.c_str());
}

bool WhisperInterpreter::Relay(const char* name, const char* text, size_t word_end, int level) {
  const std::string_view whole(text);
  // The target, then the message; blanks before either do not hide a command.
  const size_t target = SkipBlanks(whole, word_end);
  if (target == whole.size()) return true;  // the command word alone: nothing to relay
  const size_t target_end = std::min(whole.find(' ', target), whole.size());
  if (IsCommandStart(FirstNonBlank(whole, target_end))) {
    bot_.Queue().WhisperTo(name, "You may not whisper commands\n");
    return false;
  }
  if (level >= bot_.CommandLevel("Whisper")) {
    bot_.Queue().Say("%s\n", text);
  } else if (level >= bot_.CommandLevel("WhisperTagged")) {
    // The text gives way so the tag naming the speaker always reaches the line.
    const size_t tail = std::strlen(" (from )") + std::strlen(name) + 1;  // with the LF
    const int keep = static_cast<int>(tail < kMaxLine ? kMaxLine - tail : 0);
    bot_.Queue().Say("%.*s (from %s)\n", keep, text, name);
  } else {
    bot_.Queue().WhisperTo(name, "Insufficient access level\n");
  }
  return true;
}

void WhisperInterpreter::Designate(const char* name, const char* text) {
  if (bot_.Queue().Say("%s\n", text) != OutgoingQueue::kQueued) return;  // no answer will come
  bot_.designate_requested = true;
  char target[50];
  ReadWord(text, 11, target, sizeof target, &bot_.Display());
  if (SameName(target, name))
    bot_.Pending().push(target, kPendingDesignate, kDesignateTellHeir);
  else
    bot_.Pending().push(std::string(target) + " " + name, kPendingDesignate, kDesignateTellHeirAndRequester);
}

void WhisperInterpreter::MakeOpUser(const char* line, const char* speaker) {
  OutgoingQueue& queue = bot_.Queue();
  std::string target;
  if (std::strlen(line) <= 8) {
    if (bot_.Users().findUser(speaker) < 0) {
      queue.WhisperTo(speaker, "You are not in the channel!\n");
      return;
    }
    target = speaker;
  } else {
    char word[20];
    ReadWord(line, 8, word, sizeof word, &bot_.Display());
    if (bot_.Users().findUser(word) < 0) {
      queue.WhisperTo(speaker, "%s is not in the channel!\n", word);
      return;
    }
    target = word;
  }
  if (queue.Say("/designate %s\n", target.c_str()) == OutgoingQueue::kQueued)
    bot_.Pending().push(target, kPendingDesignate, kDesignateSilent);
  queue.Say("/rejoin\n");
}

void WhisperInterpreter::ResetHeir() {
  bot_.Heirs().designatedName.clear();
  bot_.Heirs().designated = HeirTable::kNone;
}

void WhisperInterpreter::LevelQuery(const char* name, const char* text, size_t word_length, int level) {
  if (std::strlen(text) > word_length + 2) {
    char who[30];
    ReadWord(text, word_length + 2, who, sizeof who, &bot_.Display());
    bot_.Queue().WhisperTo(name, "%s is level %d\n", who, bot_.Access().GetUserLevel(who));
  } else {
    bot_.Queue().WhisperTo(name, "You are level %d\n", level);
  }
}

void WhisperInterpreter::ForwardOn(const char* name) {
  bot_.Queue().Say("/msg %s messages forwarded to %s\n", name, name);
  bot_.SetForwardTarget(name);
  bot_.Display().print(TextType::BotInfo, "Forward to: %s, speaker: %s", bot_.ForwardTarget().c_str(), name);
}

void WhisperInterpreter::ForwardOff(const char* name) {
  const std::string previous = bot_.ForwardTarget();
  bot_.Queue().Say("/msg %s messages are no longer being forwarded to %s\n", name, previous.c_str());
  bot_.SetForwardTarget("");
  bot_.Display().print(TextType::BotInfo, "Forwarding off");
}

void WhisperInterpreter::Password(const char* name, const char* text, int level) {
  const std::string& password = bot_.Settings().channelPassword;
  // Without a configured password there is nothing to give access with.
  if (IsUnset(password)) return;
  // Room for the longest password the settings hold.
  char word[kSecurityLimit + 2];
  ReadWord(text, 10, word, sizeof word, &bot_.Display());
  if (!SameName(word, password) || level != 0) return;
  const char* own = bot_.OwnName();
  bot_.Access().AddUser((std::string("/add ") + name).c_str(), own, false);
  if (bot_.IsOperator()) bot_.Access().UnbanUser((std::string("/unban ") + name).c_str(), own, 9999);
}

void WhisperInterpreter::Who(const char* name) {
  const std::string prefix = "Channel List: ";
  const size_t room = WhisperRoom(name);
  const std::string names = CutNameList(bot_.Users().allNames(), room > prefix.size() ? room - prefix.size() : 0);
  bot_.Queue().WhisperTo(name, "%s%s\n", prefix.c_str(), names.c_str());
}

void WhisperInterpreter::ReplyFitted(const char* target, const std::string& text) {
  const int keep = static_cast<int>(WhisperRoom(target));
  bot_.Queue().WhisperTo(target, "%.*s\n", keep, text.c_str());
}

void WhisperInterpreter::StartPageAlarm() { pages_.Start(bot_.owner_); }

}  // namespace tolvik
