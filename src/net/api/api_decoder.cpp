#include "net/api/api_decoder.h"

#include <strings.h>

#include <cstring>
#include <nlohmann/json.hpp>

#include "net/user_flags.h"

namespace tolvik::api {
namespace {

using nlohmann::json;

constexpr std::string_view kChatPrefix = "Botapichat.";

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

uint32_t FlagBit(const std::string& name) {
  for (const FlagName& f : kFlagNames)
    if (strcasecmp(name.c_str(), f.name) == 0) return f.bit;
  return 0;
}

bool SameAsciiName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

// The parts of a message the decoder reads. A key that repeats counts with
// its last value, as in a parsed document.
struct ApiDecoder::Fields {
  std::string command;
  bool has_request_id = false;
  int64_t request_id = 0;
  bool has_status = false;
  int area = 0, code = 0;
  bool has_user_id = false;
  uint64_t user_id = 0;
  std::string toon_name, message, type, channel;
  bool has_flag = false;
  uint32_t flags = 0;
  bool has_attribute = false;
  bool has_program = false;
  std::string program;
  std::string item_key, item_value;  // the attribute entry being read
  std::vector<int> nesting;          // the parser's place, kept for its room

  void ResetStatus() { has_status = false, area = 0, code = 0; }
  void ResetPayload() {
    has_user_id = false, user_id = 0;
    toon_name.clear(), message.clear(), type.clear(), channel.clear();
    has_flag = false, flags = 0;
    has_attribute = false, has_program = false;
    program.clear();
  }
  void Reset() {
    command.clear();
    has_request_id = false, request_id = 0;
    ResetStatus();
    ResetPayload();
  }
  // "[W2BN]" from the ProgramId attribute; a login without one is a chat login.
  std::string Product() const { return has_program ? "[" + program + "]" : "[CHAT]"; }
};

void ApiDecoder::FieldsDeleter::operator()(Fields* f) const { delete f; }

namespace {

// Reads a message without building a document: only the fields above are
// kept, so decoding allocates next to nothing.
class FieldReader : public nlohmann::json_sax<json> {
 public:
  explicit FieldReader(ApiDecoder::Fields& f) : f_(f), stack_(f.nesting) { stack_.clear(); }

  bool null() override { return Scalar(); }
  bool boolean(bool) override { return Scalar(); }
  bool number_integer(number_integer_t v) override { return Integer(v >= 0, static_cast<uint64_t>(v), v); }
  bool number_unsigned(number_unsigned_t v) override {
    return Integer(true, v, static_cast<int64_t>(v));
  }
  bool number_float(number_float_t, const string_t&) override { return Scalar(); }
  bool binary(binary_t&) override { return Scalar(); }
  bool string(string_t& v) override {
    switch (Where()) {
      case kTop:
        if (key_ == kCommand) f_.command.assign(v);
        else Scalar();
        break;
      case kPayloadObject:
        switch (key_) {
          case kToonName: f_.toon_name.assign(v); break;
          case kMessage: f_.message.assign(v); break;
          case kType: f_.type.assign(v); break;
          case kChannel: f_.channel.assign(v); break;
          case kFlag: f_.has_flag = true, f_.flags = FlagBit(v); break;
          default: Scalar();
        }
        break;
      case kFlagList: f_.flags |= FlagBit(v); break;
      case kAttributeItem:
        if (key_ == kKey) f_.item_key.assign(v);
        if (key_ == kValue) f_.item_value.assign(v);
        break;
      default: break;
    }
    return true;
  }
  bool start_object(std::size_t) override {
    Place place = kOther;
    if (stack_.empty()) {
      place = kTop;
      top_object_ = true;
    } else if (Where() == kTop && key_ == kStatus) {
      place = kStatusObject;
      f_.ResetStatus();
      f_.has_status = true;
    } else if (Where() == kTop && key_ == kPayload) {
      place = kPayloadObject;
      f_.ResetPayload();
    } else if (Where() == kAttributeList) {
      place = kAttributeItem;
      f_.item_key.clear();
      f_.item_value.clear();
    }
    stack_.push_back(place);
    key_ = kNone;
    return true;
  }
  bool end_object() override {
    if (Where() == kAttributeItem && !f_.has_program && strcasecmp(f_.item_key.c_str(), "ProgramId") == 0 &&
        !f_.item_value.empty() && f_.item_value.size() <= 16) {
      f_.has_program = true;
      f_.program = f_.item_value;
    }
    stack_.pop_back();
    key_ = kNone;
    return true;
  }
  bool start_array(std::size_t) override {
    Place place = kOther;
    if (Where() == kPayloadObject && key_ == kFlag) {
      place = kFlagList;
      f_.has_flag = true;
      f_.flags = 0;
    } else if (Where() == kPayloadObject && key_ == kAttribute) {
      place = kAttributeList;
      f_.has_attribute = true;
      f_.has_program = false;
    } else if (Where() == kTop) {
      Scalar();  // an array where an object or a value was expected
    }
    stack_.push_back(place);
    return true;
  }
  bool end_array() override {
    stack_.pop_back();
    key_ = kNone;
    return true;
  }
  bool key(string_t& k) override {
    static constexpr std::pair<std::string_view, Key> kKeys[] = {
        {"command", kCommand}, {"request_id", kRequestId}, {"status", kStatus},  {"payload", kPayload},
        {"area", kArea},       {"code", kCode},            {"user_id", kUserId}, {"toon_name", kToonName},
        {"message", kMessage}, {"type", kType},            {"channel", kChannel}, {"flag", kFlag},
        {"attribute", kAttribute}, {"key", kKey},           {"value", kValue}};
    key_ = kNone;
    for (const auto& [name, id] : kKeys)
      if (k == name) key_ = id;
    return true;
  }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

  bool top_is_object() const { return top_object_; }

 private:
  enum Place { kTop, kStatusObject, kPayloadObject, kFlagList, kAttributeList, kAttributeItem, kOther };
  enum Key { kNone, kCommand, kRequestId, kStatus, kPayload, kArea, kCode, kUserId, kToonName, kMessage, kType,
             kChannel, kFlag, kAttribute, kKey, kValue };

  Place Where() const { return stack_.empty() ? kOther : static_cast<Place>(stack_.back()); }

  bool Integer(bool non_negative, uint64_t u, int64_t i) {
    if (Where() == kTop && key_ == kRequestId) {
      f_.has_request_id = true;
      f_.request_id = i;
    } else if (Where() == kStatusObject && key_ == kArea) {
      f_.area = static_cast<int>(i);
    } else if (Where() == kStatusObject && key_ == kCode) {
      f_.code = static_cast<int>(i);
    } else if (Where() == kPayloadObject && key_ == kUserId) {
      f_.has_user_id = non_negative;
      f_.user_id = u;
    } else {
      return Scalar();
    }
    return true;
  }
  // A value that is not what its key wants: it still replaces what came before.
  bool Scalar() {
    if (Where() == kTop) {
      if (key_ == kCommand) f_.command.clear();
      if (key_ == kRequestId) f_.has_request_id = false;
      if (key_ == kStatus) f_.ResetStatus();
      if (key_ == kPayload) f_.ResetPayload();
    } else if (Where() == kStatusObject) {
      if (key_ == kArea) f_.area = 0;
      if (key_ == kCode) f_.code = 0;
    } else if (Where() == kPayloadObject) {
      switch (key_) {
        case kUserId: f_.has_user_id = false; break;
        case kToonName: f_.toon_name.clear(); break;
        case kMessage: f_.message.clear(); break;
        case kType: f_.type.clear(); break;
        case kChannel: f_.channel.clear(); break;
        case kFlag: f_.has_flag = true, f_.flags = 0; break;
        case kAttribute: f_.has_attribute = true, f_.has_program = false; break;
        default: break;
      }
    } else if (Where() == kAttributeItem) {
      if (key_ == kKey) f_.item_key.clear();
      if (key_ == kValue) f_.item_value.clear();
    }
    return true;
  }

  ApiDecoder::Fields& f_;
  std::vector<int>& stack_;
  Key key_ = kNone;
  bool top_object_ = false;
};

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

ApiDecoder::ApiDecoder() : fields_(new Fields) {}

ApiDecoder::Kind ApiDecoder::Decode(std::string_view message, int64_t now_ms, std::vector<ChatEvent>* events,
                                    Answer* answer) {
  events->clear();
  if (RepairUtf8(message, &repaired_)) message = repaired_;
  Fields& f = *fields_;
  f.Reset();
  FieldReader reader(f);
  if (!json::sax_parse(message.begin(), message.end(), &reader) || !reader.top_is_object()) return Kind::kMalformed;
  const std::string_view command = f.command;
  if (command.empty()) return Kind::kMalformed;

  std::lock_guard<std::mutex> lock(mutex_);
  if (command.size() > 8 && command.substr(command.size() - 8) == "Response") {
    Respond(answer, events);
    return Kind::kResponse;
  }
  if (command.substr(0, kChatPrefix.size()) != kChatPrefix) return Kind::kUnknown;
  std::string_view event = command.substr(kChatPrefix.size());
  if (event == "UserUpdateEventRequest") {
    UserUpdate(now_ms, events);
  } else if (event == "ConnectEventRequest") {
    // A new channel: whoever we knew stays behind, except ourselves.
    for (auto it = users_.begin(); it != users_.end();) it = (own_known_ && it->first == own_id_) ? std::next(it) : users_.erase(it);
    Emit(events, kEvChannel, "", 0, f.channel);
    if (own_known_) {
      const User& me = users_[own_id_];
      Emit(events, kEvShowUser, me.name, me.flags, me.product);
    }
    listing_ = true;
    listing_last_ms_ = now_ms;
  } else if (event == "UserLeaveEventRequest") {
    listing_ = false;
    Leave(events);
  } else if (event == "MessageEventRequest") {
    listing_ = false;
    Message(events);
  } else if (event == "DisconnectEventRequest") {
    return Kind::kDisconnect;
  } else {
    return Kind::kUnknown;
  }
  return Kind::kEvent;
}

void ApiDecoder::UserUpdate(int64_t now_ms, std::vector<ChatEvent>* events) {
  const Fields& f = *fields_;
  if (!f.has_user_id) return;
  const uint64_t id = f.user_id;
  const std::string& name = f.toon_name;
  auto found = users_.find(id);
  if (found != users_.end()) {
    // A known user: only a real change is worth an event.
    User& u = found->second;
    const uint32_t flags = f.has_flag ? f.flags : u.flags;
    if (!name.empty()) u.name.assign(name);
    if (f.has_attribute) {
      std::string product = f.Product();
      if (flags == u.flags && product == u.product) return;
      u.product = std::move(product);
    } else if (flags == u.flags) {
      return;
    }
    u.flags = flags;
    Emit(events, kEvUserFlags, u.name, u.flags, u.product);
    return;
  }
  if (name.empty()) return;  // nothing to call them by
  User u{name, f.flags, f.Product()};
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

void ApiDecoder::Leave(std::vector<ChatEvent>* events) {
  const Fields& f = *fields_;
  if (!f.has_user_id) return;
  const uint64_t id = f.user_id;
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

void ApiDecoder::Message(std::vector<ChatEvent>* events) {
  const Fields& f = *fields_;
  const std::string_view type = f.type;
  const std::string_view text = f.message;
  auto found = f.has_user_id ? users_.find(f.user_id) : users_.end();
  std::string_view name;
  uint32_t flags = 0;
  if (found != users_.end()) {
    name = found->second.name;
    flags = found->second.flags;
  } else {
    name = f.toon_name;
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

void ApiDecoder::Respond(Answer* answer, std::vector<ChatEvent>* events) {
  const Fields& f = *fields_;
  *answer = Answer{};
  if (f.has_status) {
    answer->status.area = f.area;
    answer->status.code = f.code;
    answer->failed = f.area != 0 || f.code != 0;
  }
  if (!f.has_request_id) return;
  auto found = requests_.find(f.request_id);
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
