#include "net/api/api_requests.h"

#include <strings.h>

#include <nlohmann/json.hpp>

namespace tolvik::api {
namespace {

using nlohmann::json;

std::string Request(const char* command, int64_t request_id, json payload) {
  json msg = {{"command", command}, {"request_id", request_id}, {"payload", std::move(payload)}};
  // Lines are bytes; whatever is not UTF-8 goes out as U+FFFD.
  return msg.dump(-1, ' ', false, json::error_handler_t::replace);
}

// Splits off the first blank-separated word.
std::string_view NextWord(std::string_view* rest) {
  size_t start = rest->find_first_not_of(' ');
  if (start == std::string_view::npos) {
    *rest = {};
    return {};
  }
  size_t end = rest->find(' ', start);
  std::string_view word = rest->substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
  *rest = end == std::string_view::npos ? std::string_view() : rest->substr(end + 1);
  return word;
}

bool Is(std::string_view word, const char* name) {
  size_t n = std::char_traits<char>::length(name);
  return word.size() == n && strncasecmp(word.data(), name, n) == 0;
}

Translation Refuse(std::string error, bool answers = false) {
  Translation t;
  t.error = std::move(error);
  t.error_answers = answers;
  return t;
}

}  // namespace

std::string AuthenticateRequest(int64_t request_id, std::string_view api_key) {
  return Request("Botapiauth.AuthenticateRequest", request_id, {{"api_key", std::string(api_key)}});
}
std::string ConnectRequest(int64_t request_id) {
  return Request("Botapichat.ConnectRequest", request_id, json::object());
}
std::string DisconnectRequest(int64_t request_id) {
  return Request("Botapichat.DisconnectRequest", request_id, json::object());
}

Translation TranslateLine(std::string_view line, int64_t request_id, const ApiDecoder& channel) {
  Translation t;
  if (line.empty() || line[0] != '/') {
    t.ok = true;
    t.kind = RequestKind::kMessage;
    t.request = Request("Botapichat.SendMessageRequest", request_id, {{"message", std::string(line)}});
    return t;
  }
  std::string_view rest = line;
  std::string_view command = NextWord(&rest);
  if (Is(command, "/me") || Is(command, "/emote")) {
    t.ok = true;
    t.kind = RequestKind::kEmote;
    t.request = Request("Botapichat.SendEmoteRequest", request_id, {{"message", std::string(rest)}});
    return t;
  }
  struct Named {
    const char* command;
    RequestKind kind;
    const char* api;
  };
  static constexpr Named kNamed[] = {
      {"/w", RequestKind::kWhisper, "Botapichat.SendWhisperRequest"},
      {"/m", RequestKind::kWhisper, "Botapichat.SendWhisperRequest"},
      {"/msg", RequestKind::kWhisper, "Botapichat.SendWhisperRequest"},
      {"/whisper", RequestKind::kWhisper, "Botapichat.SendWhisperRequest"},
      {"/kick", RequestKind::kKick, "Botapichat.KickUserRequest"},
      {"/ban", RequestKind::kBan, "Botapichat.BanUserRequest"},
      {"/unban", RequestKind::kUnban, "Botapichat.UnbanUserRequest"},
      {"/designate", RequestKind::kDesignate, "Botapichat.SendSetModeratorRequest"},
  };
  const Named* named = nullptr;
  for (const Named& n : kNamed)
    if (Is(command, n.command)) named = &n;
  if (named == nullptr) return Refuse(std::string(command) + " is not available over the chat API.");
  std::string_view name = NextWord(&rest);
  if (name.empty()) return Refuse(std::string(command) + " needs a user name.", true);
  t.target.assign(name);
  t.kind = named->kind;
  if (named->kind == RequestKind::kUnban) {
    // Someone banned is gone from the channel: the API takes the name.
    t.ok = true;
    t.request = Request(named->api, request_id, {{"toon_name", t.target}});
    return t;
  }
  // Worded like the gateway's answer, so the requester hears "not logged on".
  if (!channel.FindUser(name, &t.target_id)) return Refuse(t.target + " is not logged on in this channel.", true);
  json payload = {{"user_id", t.target_id}};
  if (named->kind == RequestKind::kWhisper) {
    size_t start = rest.find_first_not_of(' ');
    if (start == std::string_view::npos) return Refuse("Nothing to whisper to " + t.target + ".", true);
    payload["message"] = std::string(rest.substr(start));
  }
  // Kicks and bans take no reason over the API; it is dropped.
  t.ok = true;
  t.request = Request(named->api, request_id, std::move(payload));
  return t;
}

}  // namespace tolvik::api
