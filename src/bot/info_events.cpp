// The server's information and error lines: matched against the oldest
// pending designate, ban or unban, plus the welcome line, ban protection and
// account logging from whois answers.
#include <strings.h>

#include <cstring>
#include <string>

#include "display/chat_display.h"
#include "bot/bot_owner.h"
#include "bot/chat_bot.h"
#include "bot/read_word.h"

namespace tolvik {
namespace {

// Room for any word of an information line (whose text is at most 255 characters).
constexpr int kWholeWord = 258;

// The part of an entry's text after its first word and one space.
std::string Requester(std::string_view s) {
  size_t space = s.find(' ');
  return space == std::string_view::npos ? std::string() : std::string(s.substr(space + 1));
}

}  // namespace

int ChatBot::OnInfo(const char* name, uint32_t flags, const char* text) {
  ChatConnection::OnInfo(name, flags, text);
  // Without a home channel there is nothing to join.
  if (strcasecmp(text, "Welcome to Battle.net!") == 0 && !IsUnset(HomeChannel()))
    queue_.Say("/join %s\n", HomeChannel());
  display_.print(TextType::BnetInfo, "%s", text);
  protection_.OnServerInfo(text);

  if (const PendingAction* e = pending_.front()) {
    const std::string etext = LowerAscii(e->text);
    const std::string efirst(FirstWord(etext));
    const std::string tfirst = LowerAscii(FirstWord(text));
    switch (e->kind) {
      case kPendingUnban:
        if (std::strstr(text, "was unbanned") != nullptr) {
          if (efirst == tfirst)
            pending_.pop();
          else
            display_.print(TextType::BotInfo, "Unban queue entry: szName != EventText");
        }
        break;
      case kPendingBan:
        if (std::strstr(text, "was banned") != nullptr && efirst == tfirst) pending_.pop();
        break;
      case kPendingDesignate: {
        if (std::strstr(text, "new designated") == nullptr) break;
        std::string& heir = heirs_.designatedName;
        if (!heir.empty() && !SameName(heir, efirst)) queue_.WhisperTo(heir.c_str(), "You are no longer the designated heir\n");
        const int mode = e->mode;
        const std::string requester = Requester(etext);
        if (mode == kDesignateTellHeirAndRequester) {
          if (!SameName(heir, efirst)) {
            heir = efirst;
            queue_.WhisperTo(efirst.c_str(), "You are the new designated heir\n");
            if (!requester.empty()) queue_.WhisperTo(requester.c_str(), "%s is the new designated heir\n", efirst.c_str());
          }
        } else if (mode == kDesignateTellHeir) {
          if (!SameName(heir, etext)) {
            heir = etext;
            queue_.WhisperTo(etext.c_str(), "You are the new designated heir\n");
          }
        } else if (mode == kDesignateSilent) {
          heir = etext;
        } else {
          display_.print(TextType::BotInfo, "Error #201: Unhandled Designate Event Flag");
        }
        pending_.pop();
        break;
      }
      default:
        display_.print(TextType::BotInfo, "Unhandled FIFO entry packet type");
        break;
    }
  }

  if (std::strstr(text, "was banned") != nullptr) {
    // "<victim> was banned by <user>." - the fifth word is who banned. Both
    // names are read whole: a cut name would unban, or spare, the wrong user.
    char words[5][kWholeWord] = {};
    size_t pos = 0;
    const size_t len = std::strlen(text);
    for (auto& word : words) {
      pos += static_cast<size_t>(ReadWord(text, pos, word, sizeof word, &display_));
      if (&word != &words[4] && pos < len) ++pos;
    }
    char* banner = words[4];
    size_t blen = std::strlen(banner);
    if (pos >= len && blen > 0) banner[blen - 1] = '\0';
    if (banner[0] != '\0' && !SameName(banner, OwnName()) &&
        access_.GetUserLevel(banner) < CommandLevel("BanTagged")) {
      std::string line = std::string("/unban ") + words[0];
      access_.UnbanUser(line.c_str(), OwnName(), 9999);
    }
  }

  if (designate_requested) {
    designate_requested = false;
  } else if (access_.KickRequested()) {
    access_.ClearKickRequest();
  } else if (whois_pending && owner_.GetToggles().IdLogging.state) {
    char first[50];
    ReadWord(text, 0, first, sizeof first, &display_);
    if (SameName(first, whois_name)) {
      whois_pending = false;
      const char* p = text;
      for (int spaces = 0; p != nullptr && spaces < 6; ++spaces) {
        p = std::strchr(p, ' ');
        if (p != nullptr) ++p;
      }
      if (p != nullptr && strcasecmp(p, "gateway,") != 0) {
        std::string rest(p, strcspn(p, ","));
        if (!rest.empty()) aliases_.add(whois_name, rest.substr(1));
      }
    }
  }

  RunEventHook("OnInfo", name, text);
  return 1;
}

int ChatBot::OnError(const char* name, uint32_t flags, const char* text) {
  ChatConnection::OnError(name, flags, text);
  display_.print(TextType::BnetInfo, "ERROR: %s", text);
  protection_.OnServerError(pending_.front());

  if (const PendingAction* e = pending_.front()) {
    const std::string requester = Requester(LowerAscii(e->text));
    const char* r = requester.c_str();
    const int mode = e->mode;
    bool consumed = true;
    switch (e->kind) {
      case kPendingUnban:
        if (!requester.empty() && !SameName(requester, OwnName())) queue_.WhisperTo(r, "Error: %s\n", text);
        break;
      case kPendingBan:
        if (std::strstr(text, "logged") != nullptr)
          queue_.WhisperTo(r, "Error: That user is not logged on\n");
        else if (std::strstr(text, "another operator") != nullptr)
          queue_.WhisperTo(r, "Error: You cannot ban another operator\n");
        else if (std::strstr(text, "channel operator") != nullptr)
          queue_.WhisperTo(r, "Error: The bot does not have operator status\n");
        else
          display_.print(TextType::BotInfo, "ERROR #103: Unhandled Ban Error Packet - %s", text);
        break;
      case kPendingDesignate:
        if (mode == kDesignateTellHeirAndRequester) {
          if (std::strstr(text, "logged") != nullptr)
            queue_.WhisperTo(r, "That user is not logged on.\n");
          else if (std::strstr(text, "operator") != nullptr)
            queue_.WhisperTo(r, "That user already has ops\n");
          else if (std::strstr(text, "invalid") != nullptr)
            queue_.WhisperTo(r, "That user is not in the channel\n");
          else
            display_.print(TextType::BotInfo, "ERROR #101: Unhandled Designate Error packet - %s", text);
        } else if (mode != kDesignateTellHeir && mode != kDesignateSilent) {
          display_.print(TextType::BotInfo, "ERROR #102: Unhandled Designate Event Flag - %d", mode);
        }
        break;
      default:
        display_.print(TextType::BotInfo, "Unhandled FIFO entry packet type");
        consumed = false;
        break;
    }
    if (consumed) pending_.pop();
  }

  if (access_.KickRequested()) {
    std::string requester = access_.KickRequester();
    access_.ClearKickRequest();
    queue_.WhisperTo(requester.c_str(), "Error: %s\n", text);
  } else if (whois_pending && strcasecmp(text, "That user is not logged on.") == 0) {
    whois_pending = false;
  }

  RunEventHook("OnError", name, text);
  return 1;
}

}  // namespace tolvik
