// The channel roster: users shown on entry, joining, leaving and changing
// flags. The bot's own operator status, limits per login type, the auto-ban
// list and the AutoBan/AutoKick switches, greetings and goodbyes, account
// logging, heirs, the last-seen and recent-leaver lists, and rejoining when
// left alone without operator status.
#include "display/chat_display.h"
#include "bot/bot_owner.h"
#include "bot/chat_bot.h"
#include "bot/read_word.h"
#include "net/user_flags.h"

namespace tolvik {
namespace {

constexpr uint32_t kOperatorFlag = kFlagOperator;
constexpr uint32_t kBotFlag = kFlagChat;
// Ticks of the 110 ms timer before a rejoin: the 91st tick, about ten seconds.
constexpr int kRejoinTicks = 90;

const char kPrivateModeText[] =
    "The channel is in private mode.  Please whisper /password <password> to the bot to get access\n";

// The counter a user goes to: by product tag for plain users and operators,
// bots by the 0x10 flag, nothing for any other flags. -2: counted nowhere;
// -1: counted by a tag that is none of the seven.
constexpr int kNotCounted = -2;
int ArrivalType(uint32_t flags, const char* tag) {
  if (flags == 0 || ((flags & kOperatorFlag) != 0 && (flags & kBotFlag) == 0))
    return LoginTypeCounters::TypeOfTag(tag);
  if ((flags & kBotFlag) != 0) return LoginTypeCounters::Bots;
  return kNotCounted;
}

bool HeirSlotSet(const std::string& slot) { return !IsUnset(slot); }

}  // namespace

void ChatBot::ApplyOwnStatus(uint32_t flags) {
  own_flags_ = static_cast<int32_t>(flags);
  if ((flags & kOperatorFlag) != 0) {
    is_operator_ = true;
    protection_.OnOperator();
  } else {
    is_operator_ = false;
    heirs_.designatedName.clear();
    heirs_.designated = HeirTable::kNone;
  }
}

void ChatBot::MarkHeirPresent(const char* name) {
  for (int i = 0; i < HeirTable::kSlots; ++i) {
    const std::string& slot = heirs_.names[static_cast<size_t>(i)];
    // The bot never counts as its own heir.
    if (HeirSlotSet(slot) && SameName(slot, name) && !SameName(slot, OwnName()))
      heirs_.present[static_cast<size_t>(i)] = true;
  }
}

int ChatBot::CountArrival(const char* name, uint32_t flags, const char* tag) {
  // A user the full list left out is not counted either, so the counters stay
  // as bounded as the list.
  if (users_.findUser(name) < 0) return kNotCounted;
  int type = ArrivalType(flags, tag);
  if (type < 0) return type;
  counters_.add(name, static_cast<LoginTypeCounters::Type>(type));
  return type;
}

void ChatBot::DesignateBestHeir() {
  if (!is_operator_) {
    heirs_.designated = HeirTable::kNone;
    designations_.clear();
    return;
  }
  int best = HeirTable::kNone;
  for (int i = 0; i < HeirTable::kSlots; ++i) {
    if (heirs_.present[static_cast<size_t>(i)]) {
      best = i;
      break;
    }
  }
  if (best == HeirTable::kNone) {
    heirs_.designated = HeirTable::kNone;
    return;
  }
  if (best >= heirs_.designated) return;  // an equal or better heir is designated already
  const auto now = designate_clock_ ? designate_clock_() : std::chrono::steady_clock::now();
  designations_.push_back(Designation{now + kDesignatePause, heirs_.names[static_cast<size_t>(best)]});
  heirs_.designated = best;
}

void ChatBot::SendDueDesignations() {
  if (designations_.empty()) return;
  if (!is_operator_) {
    designations_.clear();
    return;
  }
  const auto now = designate_clock_ ? designate_clock_() : std::chrono::steady_clock::now();
  // The pending entry goes in with its line, so entries stay in the order the
  // server will answer them.
  while (!designations_.empty() && designations_.front().due <= now) {
    const std::string& heir = designations_.front().heir;
    if (queue_.Say("/Designate %s\n", heir.c_str()) == OutgoingQueue::kQueued)
      pending_.push(heir, kPendingDesignate, kDesignateTellHeir);
    designations_.pop_front();
  }
}

void ChatBot::RejoinTick() {
  if (!rejoin_counting_) return;
  if (++rejoin_ticks_ > kRejoinTicks) {
    queue_.Say("/rejoin\n");
    rejoin_counting_ = false;
    rejoin_ticks_ = 0;
  }
}

int ChatBot::OnShowUser(const char* name, uint32_t flags, const char* text) {
  ChatConnection::OnShowUser(name, flags, text);
  if (*name == '\0') return 1;  // a line without a name is about nobody
  if (SameName(name, OwnName())) ApplyOwnStatus(flags);
  MarkHeirPresent(name);
  users_.addUser(name, flags, CurrentChannel(), text);
  if (CountArrival(name, flags, text) == -1) {
    display_.print(TextType::BotInfo, "DEBUG INFO: Login Type = %s", text);
    display_.print(TextType::BotInfo, "DEBUG INFO: Please notify vemmo (maker of the bot) of this message");
  }
  RunEventHook("OnShowUser", name, text);
  return 1;
}

int ChatBot::OnJoin(const char* name, uint32_t flags, const char* text) {
  ChatConnection::OnJoin(name, flags, text);
  if (*name == '\0') return 1;  // a line without a name is about nobody
  const Toggles& toggles = owner_.GetToggles();
  if (toggles.ViewEnterLeave.state) display_.print(TextType::Joins, "%s has joined the channel", name);
  if (SameName(name, OwnName())) ApplyOwnStatus(flags);
  last_seen_.remove(name);
  MarkHeirPresent(name);
  DesignateBestHeir();

  const bool recently_left = leavers_.contains(name);
  if (!recently_left && toggles.AutoRespond.state) SendGreeting(greet_table_, name);
  RunEventHook("OnJoin", name, text);
  users_.addUser(name, flags, CurrentChannel(), text);

  // A name no command can carry (a blank in it, say) is shown, but nothing is
  // done to it by name: a command would reach whoever the first word names.
  const bool nameable = NameCarriable(name);
  if (!nameable) display_.print(TextType::BotInfo, "No command can name the user \"%s\": nothing is done to this user by name.", name);

  // Limits per login type: the user stays counted until the leave, kicked or not.
  const int type = CountArrival(name, flags, text);
  if (type == -1) {
    display_.print(TextType::BotInfo, "Error #003: Unknown Login Type = %s - please notify bot progammers", text);
  } else if (type >= 0) {
    const auto t = static_cast<LoginTypeCounters::Type>(type);
    if (is_operator_ && nameable && counters_.overLimit(t) &&
        queue_.Say(LoginTypeCounters::KickFormat(t), name) == OutgoingQueue::kQueued) {
      // The reason is the kick text after the name.
      std::string reason = LoginTypeCounters::KickFormat(t);
      reason = AsOneLine(reason.substr(std::min(reason.size(), reason.find("%s") + 3)));
      protection_.RecordAction("limits", "kick", name, reason.c_str());
    }
  }

  // Account logging: one /whois at a time, for names the database does not know.
  if (nameable && toggles.IdLogging.state && flags != kBotFlag && !whois_pending && !aliases_.isKnown(name)) {
    queue_.Say("/whois %s\n", name);
    whois_pending = true;
    whois_name = name;
  }

  if (toggles.AutoViewAliases.state && !recently_left && (flags & kBotFlag) == 0) aliases_.showAliases(name, OwnName());

  bool sent_off = false;
  if (is_operator_ && nameable) {
    if (access_.IsAutoBanned(name)) {
      if (queue_.Say("/ban %s You are auto-banned from this channel!\n", name) == OutgoingQueue::kQueued)
        protection_.RecordAction("autoban.lst", "ban", name, "You are auto-banned from this channel!");
      sent_off = true;
    } else if ((auto_ban_ || auto_kick_) && access_.GetUserLevel(name) == 0) {
      if (auto_ban_) {
        if (queue_.Say("/ban %s AutoBan\n", name) == OutgoingQueue::kQueued)
          protection_.RecordAction("AutoBan", "ban", name, "AutoBan");
      } else if (queue_.Say("/kick %s AutoKick\n", name) == OutgoingQueue::kQueued) {
        protection_.RecordAction("AutoKick", "kick", name, "AutoKick");
      }
      sent_off = true;
      if (!IsUnset(settings_.channelPassword)) queue_.WhisperTo(name, "%s", kPrivateModeText);
    }
  }
  // A name already sent off needs no rule of protect.lst.
  if (!sent_off && nameable) protection_.OnJoin(name);
  return 1;
}

int ChatBot::OnLeave(const char* name, uint32_t flags, const char* text) {
  ChatConnection::OnLeave(name, flags, text);
  if (*name == '\0') return 1;  // a line without a name is about nobody
  const Toggles& toggles = owner_.GetToggles();
  if (toggles.ViewEnterLeave.state) display_.print(TextType::Parts, "%s has left the channel", name);
  for (int i = 0; i < HeirTable::kSlots; ++i)
    if (SameName(heirs_.names[static_cast<size_t>(i)], name)) heirs_.present[static_cast<size_t>(i)] = false;
  if (!heirs_.designatedName.empty() && SameName(name, heirs_.designatedName)) {
    heirs_.designatedName.clear();
    heirs_.designated = HeirTable::kNone;
  }
  DesignateBestHeir();

  if (last_seen_.find(name) == nullptr) last_seen_.append(name, LocalTimeText());
  if (!leavers_.contains(name)) leavers_.add(name);
  if (toggles.AutoRespond.state) SendGreeting(part_table_, name);
  RunEventHook("OnLeave", name, text);

  // Left alone without operator status: rejoin so the empty channel makes us
  // operator. After an operator's leave wait first, he may have designated us.
  if (users_.userCount() == 2 && !is_operator_) {
    if ((flags & kOperatorFlag) != 0) {
      rejoin_counting_ = true;
      rejoin_ticks_ = 0;
    } else {
      queue_.Say("/rejoin\n");
    }
  }

  protection_.OnLeave(name);
  std::string tag = users_.removeUser(name, CurrentChannel());
  if (!counters_.remove(name) && flags == 0 && LoginTypeCounters::TypeOfTag(tag) < 0) {
    display_.print(TextType::BotInfo, "DEBUG INFO: Login Type = %s", tag.c_str());
    display_.print(TextType::BotInfo, "DEBUG INFO: Please notify vemmo (maker of the bot) of this message");
  }
  return 1;
}

int ChatBot::OnUserFlags(const char* name, uint32_t flags, const char* text) {
  ChatConnection::OnUserFlags(name, flags, text);
  if (*name == '\0') return 1;  // a line without a name is about nobody
  if (SameName(name, OwnName())) {
    own_flags_ = static_cast<int32_t>(flags);
    if ((flags & kOperatorFlag) != 0) {
      rejoin_counting_ = false;
      rejoin_ticks_ = 0;
      is_operator_ = true;
      protection_.OnOperator();
    } else {
      is_operator_ = false;
      heirs_.designatedName.clear();
      auto_kick_ = false;
      auto_ban_ = false;
    }
  }
  DesignateBestHeir();
  users_.updateUserFlags(name, flags);
  return 1;
}

}  // namespace tolvik
