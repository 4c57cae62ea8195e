#include "net/api/api_decoder.h"

#include <strings.h>

#include <cstring>
#include <nlohmann/json.hpp>

#include "net/user_flags.h"

namespace tolvik::api {
namespace {

using nlohmann::json;

constexpr std::string_view kChatPrefix = "Botapichat.";
constexpr std::string_view kAuthPrefix = "Botapiauth.";

// Flag names of the API and the text gateway's bits they stand for. Nothing
// in the text protocol matches a whisper-only mute, so it maps to no bit.
struct FlagName {
  const char* name;
  uint32_t bit;
};
constexpr FlagName kFlagNames[] = {
    {"Admin", kFlagBlizzard}, {"Moderator", kFlagOperator}, {"Speaker", kFlagSpeaker},
    {"MuteGlobal", kFlagSquelched}, {"MuteWhisper", 0},
};

const json* Member(const json& object, const char* key) {
  if (!object.is_object()) return nullptr;
  auto it = object.find(key);
  return it == object.end() ? nullptr : &*it;
}

bool ReadId(const json& object, const char* key, uint64_t* id) {
  const json* v = Member(object, key);
  if (v == nullptr) return false;
  if (v->is_number_unsigned()) {
    *id = v->get<uint64_t>();
    return true;
  }
  if (v->is_number_integer() && v->get<int64_t>() >= 0) {
    *id = static_cast<uint64_t>(v->get<int64_t>());
    return true;
  }
  return false;
}

std::string_view ReadString(const json& object, const char* key) {
  const json* v = Member(object, key);
  if (v == nullptr || !v->is_string()) return {};
  return v->get_ref<const std::string&>();
}

uint32_t ReadFlags(const json& payload) {
  const json* list = Member(payload, "flag");
  if (list == nullptr) return 0;
  uint32_t flags = 0;
  auto add = [&flags](const json& item) {
    if (!item.is_string()) return;
    const std::string& s = item.get_ref<const std::string&>();
    for (const FlagName& f : kFlagNames)
      if (strcasecmp(s.c_str(), f.name) == 0) flags |= f.bit;
  };
  if (list->is_array()) {
    for (const json& item : *list) add(item);
  } else {
    add(*list);
  }
  return flags;
}

// "[W2BN]" from the ProgramId attribute; a login without one is a chat login.
std::string ReadProduct(const json& payload) {
  const json* list = Member(payload, "attribute");
  if (list != nullptr && list->is_array()) {
    for (const json& item : *list) {
      if (strcasecmp(std::string(ReadString(item, "key")).c_str(), "ProgramId") != 0) continue;
      std::string_view value = ReadString(item, "value");
      if (!value.empty() && value.size() <= 16) return "[" + std::string(value) + "]";
    }
  }
  return "[CHAT]";
}

bool SameAsciiName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

std::string DescribeStatus(const ApiStatus& s) {
  const char* what = "request failed";
  if (s.area == 6 && s.code == 5) what = "request timed out";
  if (s.area == 6 && s.code == 8) what = "rate limit exceeded";
  if (s.area == 8 && s.code == 1) what = "not connected to chat";
  if (s.area == 8 && s.code == 2) what = "bad request";
  return std::string(what) + " (" + std::to_string(s.area) + "/" + std::to_string(s.code) + ")";
}

bool RepairUtf8(std::string_view text, std::string* out) {
  auto cont = [&](size_t i) { return i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80; };
  // Length of the well-formed sequence at i, or 0.
  auto sequence = [&](size_t i) -> size_t {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF) return cont(i + 1) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
      if (!cont(i + 1) || !cont(i + 2)) return 0;
      const auto c1 = static_cast<unsigned char>(text[i + 1]);
      if (c == 0xE0 && c1 < 0xA0) return 0;   // overlong
      if (c == 0xED && c1 > 0x9F) return 0;   // surrogate
      return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
      if (!cont(i + 1) || !cont(i + 2) || !cont(i + 3)) return 0;
      const auto c1 = static_cast<unsigned char>(text[i + 1]);
      if (c == 0xF0 && c1 < 0x90) return 0;
      if (c == 0xF4 && c1 > 0x8F) return 0;
      return 4;
    }
    return 0;
  };
  size_t i = 0;
  while (i < text.size()) {
    size_t n = sequence(i);
    if (n == 0) break;
    i += n;
  }
  if (i == text.size()) return false;
  out->assign(text.substr(0, i));
  while (i < text.size()) {
    size_t n = sequence(i);
    if (n == 0) {
      out->push_back('?');
      ++i;
    } else {
      out->append(text.substr(i, n));
      i += n;
    }
  }
  return true;
}

void FillEvent(ChatEvent* event, int id, std::string_view name, uint32_t flags, std::string_view text) {
  event->id = id;
  size_t n = std::min(name.size(), sizeof event->name - 1);
  std::memcpy(event->name, name.data(), n);
  event->name[n] = '\0';
  event->flags = flags;
  size_t t = std::min(text.size(), sizeof event->text - 1);
  std::memcpy(event->text, text.data(), t);
  event->text[t] = '\0';
}

namespace {
void Emit(std::vector<ChatEvent>* events, int id, std::string_view name, uint32_t flags, std::string_view text) {
  events->emplace_back();
  FillEvent(&events->back(), id, name, flags, text);
}
}  // namespace

ApiDecoder::Kind ApiDecoder::Decode(std::string_view message, int64_t now_ms, std::vector<ChatEvent>* events,
                                    Answer* answer) {
  events->clear();
  if (RepairUtf8(message, &repaired_)) message = repaired_;
  json msg = json::parse(message, nullptr, false);
  if (msg.is_discarded() || !msg.is_object()) return Kind::kMalformed;
  std::string_view command = ReadString(msg, "command");
  if (command.empty()) return Kind::kMalformed;
  static const json kEmpty = json::object();
  const json* payload = Member(msg, "payload");
  if (payload == nullptr || !payload->is_object()) payload = &kEmpty;

  std::lock_guard<std::mutex> lock(mutex_);
  if (command.size() > 8 && command.substr(command.size() - 8) == "Response") {
    Respond(msg, answer, events);
    return Kind::kResponse;
  }
  if (command.substr(0, kChatPrefix.size()) != kChatPrefix) return Kind::kUnknown;
  std::string_view event = command.substr(kChatPrefix.size());
  if (event == "UserUpdateEventRequest") {
    UserUpdate(*payload, now_ms, events);
  } else if (event == "ConnectEventRequest") {
    std::string_view channel = ReadString(*payload, "channel");
    // A new channel: whoever we knew stays behind, except ourselves.
    for (auto it = users_.begin(); it != users_.end();) it = (own_known_ && it->first == own_id_) ? std::next(it) : users_.erase(it);
    Emit(events, kEvChannel, "", 0, channel);
    if (own_known_) {
      const User& me = users_[own_id_];
      Emit(events, kEvShowUser, me.name, me.flags, me.product);
    }
    listing_ = true;
    listing_last_ms_ = now_ms;
  } else if (event == "UserLeaveEventRequest") {
    listing_ = false;
    Leave(*payload, events);
  } else if (event == "MessageEventRequest") {
    listing_ = false;
    Message(*payload, events);
  } else if (event == "DisconnectEventRequest") {
    return Kind::kDisconnect;
  } else {
    return Kind::kUnknown;
  }
  return Kind::kEvent;
}

void ApiDecoder::UserUpdate(const json& payload, int64_t now_ms, std::vector<ChatEvent>* events) {
  uint64_t id = 0;
  if (!ReadId(payload, "user_id", &id)) return;
  std::string_view name = ReadString(payload, "toon_name");
  const bool has_flags = Member(payload, "flag") != nullptr;
  const bool has_attributes = Member(payload, "attribute") != nullptr;
  auto found = users_.find(id);
  if (found != users_.end()) {
    // A known user: only a real change is worth an event.
    User& u = found->second;
    uint32_t flags = has_flags ? ReadFlags(payload) : u.flags;
    std::string product = has_attributes ? ReadProduct(payload) : u.product;
    if (!name.empty()) u.name.assign(name);
    if (flags == u.flags && product == u.product) return;
    u.flags = flags;
    u.product = std::move(product);
    Emit(events, kEvUserFlags, u.name, u.flags, u.product);
    return;
  }
  if (name.empty()) return;  // nothing to call them by
  User u{std::string(name), ReadFlags(payload), ReadProduct(payload)};
  if (!own_known_) {
    // The first user the server describes is the bot itself.
    own_known_ = true;
    own_id_ = id;
    own_name_ = u.name;
    Emit(events, kEvName, u.name, u.flags, "");
    users_.emplace(id, std::move(u));
    return;
  }
  if (listing_ && now_ms - listing_last_ms_ > kListingQuietMs) listing_ = false;
  if (listing_) listing_last_ms_ = now_ms;
  Emit(events, listing_ ? kEvShowUser : kEvJoin, u.name, u.flags, u.product);
  users_.emplace(id, std::move(u));
}

void ApiDecoder::Leave(const json& payload, std::vector<ChatEvent>* events) {
  uint64_t id = 0;
  if (!ReadId(payload, "user_id", &id)) return;
  auto found = users_.find(id);
  if (found == users_.end()) return;
  // A kick or ban still unanswered is confirmed by the leave it caused.
  for (auto& [rid, request] : requests_) {
    if (request.settled || request.target_id != id) continue;
    if (request.kind != RequestKind::kKick && request.kind != RequestKind::kBan) continue;
    request.settled = true;
    Confirm(request, events);
  }
  Emit(events, kEvLeave, found->second.name, found->second.flags, found->second.product);
  if (!(own_known_ && id == own_id_)) users_.erase(found);
}

void ApiDecoder::Message(const json& payload, std::vector<ChatEvent>* events) {
  std::string_view type = ReadString(payload, "type");
  std::string_view text = ReadString(payload, "message");
  uint64_t id = 0;
  const bool has_id = ReadId(payload, "user_id", &id);
  auto found = has_id ? users_.find(id) : users_.end();
  std::string_view name;
  uint32_t flags = 0;
  if (found != users_.end()) {
    name = found->second.name;
    flags = found->second.flags;
  } else {
    name = ReadString(payload, "toon_name");
  }
  if (type == "ServerInfo") {
    Emit(events, kEvInfo, "", 0, text);
    return;
  }
  if (type == "ServerError") {
    Emit(events, kEvError, "", 0, text);
    return;
  }
  if (name.empty()) return;  // talk from nobody we can name or answer
  if (type == "Channel") {
    Emit(events, kEvTalk, name, flags, text);
  } else if (type == "Whisper") {
    Emit(events, kEvWhisper, name, flags, text);
  } else if (type == "Emote") {
    Emit(events, kEvEmote, name, flags, text);
  }
}

void ApiDecoder::Respond(const json& msg, Answer* answer, std::vector<ChatEvent>* events) {
  *answer = Answer{};
  const json* status = Member(msg, "status");
  if (status != nullptr && status->is_object()) {
    const json* area = Member(*status, "area");
    const json* code = Member(*status, "code");
    if (area != nullptr && area->is_number_integer()) answer->status.area = area->get<int>();
    if (code != nullptr && code->is_number_integer()) answer->status.code = code->get<int>();
    answer->failed = answer->status.area != 0 || answer->status.code != 0;
  }
  const json* rid = Member(msg, "request_id");
  if (rid == nullptr || !rid->is_number_integer()) return;
  auto found = requests_.find(rid->get<int64_t>());
  if (found == requests_.end()) return;
  Request request = std::move(found->second);
  requests_.erase(found);
  answer->known = true;
  answer->kind = request.kind;
  if (request.settled) return;  // its leave confirmed it already
  if (!answer->failed) {
    Confirm(request, events);
    return;
  }
  const char* what = nullptr;
  switch (request.kind) {
    case RequestKind::kKick: what = "Kick of "; break;
    case RequestKind::kBan: what = "Ban of "; break;
    case RequestKind::kUnban: what = "Unban of "; break;
    case RequestKind::kDesignate: what = "Designation of "; break;
    case RequestKind::kWhisper: what = "Whisper to "; break;
    case RequestKind::kMessage: what = "Message"; break;
    case RequestKind::kEmote: what = "Emote"; break;
    default: return;  // login answers are the session's business
  }
  std::string text = std::string(what) + request.target + " failed: " + DescribeStatus(answer->status);
  Emit(events, kEvError, "", 0, text);
}

void ApiDecoder::Confirm(const Request& r, std::vector<ChatEvent>* events) const {
  // The lines the text gateway answers these commands with, so the pending
  // actions and the ban protection read them the same way.
  std::string text;
  switch (r.kind) {
    case RequestKind::kKick: text = r.target + " was kicked out of the channel by " + own_name_ + "."; break;
    case RequestKind::kBan: text = r.target + " was banned by " + own_name_ + "."; break;
    case RequestKind::kUnban: text = r.target + " was unbanned by " + own_name_ + "."; break;
    case RequestKind::kDesignate: text = r.target + " is your new designated heir."; break;
    default: return;
  }
  Emit(events, kEvInfo, "", 0, text);
}

void ApiDecoder::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  users_.clear();
  requests_.clear();
  own_known_ = false;
  own_id_ = 0;
  own_name_.clear();
  listing_ = false;
}

bool ApiDecoder::FindUser(std::string_view name, uint64_t* id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& [uid, user] : users_) {
    if (SameAsciiName(user.name, name)) {
      *id = uid;
      return true;
    }
  }
  return false;
}

std::string ApiDecoder::OwnName() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return own_name_;
}

void ApiDecoder::Expect(int64_t request_id, RequestKind kind, std::string target, uint64_t target_id) {
  std::lock_guard<std::mutex> lock(mutex_);
  // Answers that never come must not pile up: past the cap one is dropped.
  if (requests_.size() >= 1000) requests_.erase(requests_.begin());
  requests_[request_id] = Request{kind, std::move(target), target_id, false};
}

size_t ApiDecoder::UsersForTest() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return users_.size();
}

}  // namespace tolvik::api
