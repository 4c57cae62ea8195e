#include "net/api/api_requests.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "display/utf8_cut.h"

namespace tolvik::api {
namespace {

using nlohmann::json;

std::string Request(const char* command, int64_t request_id, json payload) {
  json msg = {{"command", command}, {"request_id", request_id}, {"payload", std::move(payload)}};
  // Lines are bytes; whatever is not UTF-8 goes out as U+FFFD.
  return msg.dump(-1, ' ', false, json::error_handler_t::replace);
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
std::string SetModeratorRequest(int64_t request_id, uint64_t user_id) {
  return Request("Botapichat.SendSetModeratorRequest", request_id, {{"user_id", user_id}});
}

std::string MessageText(std::string_view text) {
  std::string out;
  out.reserve(std::min(text.size(), kLongestMessage + 4));
  for (size_t i = 0; i < text.size() && out.size() <= kLongestMessage + 4; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F) continue;
    // U+0080 to U+009F: C2 80 to C2 9F.
    if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) <= 0x9F &&
        static_cast<unsigned char>(text[i + 1]) >= 0x80) {
      ++i;
      continue;
    }
    out.push_back(text[i]);
  }
  out.resize(Utf8Prefix(out, kLongestMessage).size());
  return out;
}

Translation TranslateCommand(const OutgoingCommand& c, int64_t request_id, const ApiDecoder& channel) {
  Translation t;
  if (c.kind == CommandKind::kChat || c.kind == CommandKind::kEmote) {
    const bool emote = c.kind == CommandKind::kEmote;
    t.ok = true;
    t.kind = emote ? RequestKind::kEmote : RequestKind::kMessage;
    t.request = Request(emote ? "Botapichat.SendEmoteRequest" : "Botapichat.SendMessageRequest", request_id,
                        {{"message", MessageText(c.text)}});
    return t;
  }
  struct Named {
    CommandKind command;
    RequestKind kind;
    const char* api;
  };
  static constexpr Named kNamed[] = {
      {CommandKind::kWhisper, RequestKind::kWhisper, "Botapichat.SendWhisperRequest"},
      {CommandKind::kKick, RequestKind::kKick, "Botapichat.KickUserRequest"},
      {CommandKind::kBan, RequestKind::kBan, "Botapichat.BanUserRequest"},
      {CommandKind::kUnban, RequestKind::kUnban, "Botapichat.UnbanUserRequest"},
      {CommandKind::kDesignate, RequestKind::kDesignate, "Botapichat.SendSetModeratorRequest"},
  };
  const Named* named = nullptr;
  for (const Named& n : kNamed)
    if (c.kind == n.command) named = &n;
  if (named == nullptr) return Refuse(std::string(c.word) + " is not available over the chat API.");
  if (c.target.empty()) return Refuse(std::string(c.word) + " needs a user name.", true);
  t.target.assign(c.target);
  t.kind = named->kind;
  if (named->kind == RequestKind::kUnban) {
    // Someone banned is gone from the channel: the API takes the name.
    t.ok = true;
    t.request = Request(named->api, request_id, {{"toon_name", t.target}});
    return t;
  }
  // Worded like the gateway's answer, so the requester hears "not logged on".
  if (!channel.FindUser(c.target, &t.target_id)) return Refuse(t.target + " is not logged on in this channel.", true);
  json payload = {{"user_id", t.target_id}};
  if (named->kind == RequestKind::kWhisper) {
    std::string message = MessageText(c.text);
    if (message.empty()) return Refuse("Nothing to whisper to " + t.target + ".", true);
    payload["message"] = std::move(message);
  }
  // Kicks and bans take no reason over the API; it is dropped.
  t.ok = true;
  t.request = Request(named->api, request_id, std::move(payload));
  return t;
}

Translation TranslateLine(std::string_view line, int64_t request_id, const ApiDecoder& channel) {
  return TranslateCommand(ParseOutgoingLine(line), request_id, channel);
}

}  // namespace tolvik::api
