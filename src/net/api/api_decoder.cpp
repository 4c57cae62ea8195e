#include "net/api/api_decoder.h"

#include <strings.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <simdjson.h>

#include "net/user_flags.h"

namespace tolvik::api {
namespace {

namespace od = simdjson::ondemand;

constexpr std::string_view kChatPrefix = "Botapichat.";

// Flag names of the API and the text gateway's bits they stand for. Nothing
// in the text protocol matches a whisper-only mute, so it maps to no bit.
struct FlagName {
  std::string_view name;
  uint32_t bit;
};
constexpr FlagName kFlagNames[] = {
    {"Admin", kFlagBlizzard}, {"Moderator", kFlagOperator}, {"Speaker", kFlagSpeaker},
    {"MuteGlobal", kFlagSquelched}, {"MuteWhisper", 0},
};

bool SameAsciiName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

uint32_t FlagBit(std::string_view name) {
  for (const FlagName& f : kFlagNames)
    if (SameAsciiName(name, f.name)) return f.bit;
  return 0;
}

}  // namespace

// The parts of a message the decoder reads. A key that repeats counts with
// its last value, as in a parsed document; a value of the wrong type clears
// what came before. The texts point into the parser's buffers and live until
// the next message.
struct ApiDecoder::Fields {
  bool plain_keys = true;  // the message has no backslash (see Key)
  std::string_view command;
  bool has_request_id = false;
  int64_t request_id = 0;
  bool has_status = false;
  int area = 0, code = 0;
  bool has_user_id = false;
  uint64_t user_id = 0;
  bool has_type = false, has_message = false, has_channel = false;
  std::string_view toon_name, message, type, channel;
  bool has_flag = false;
  uint32_t flags = 0;
  bool has_attribute = false;
  bool has_program = false;
  std::string_view program, rate, rank, wins;

  void ResetStatus() { has_status = false, area = 0, code = 0; }
  void ResetAttributes() {
    has_program = false;
    program = rate = rank = wins = {};
  }
  void ResetPayload() {
    has_user_id = false, user_id = 0;
    has_type = has_message = has_channel = false;
    toon_name = message = type = channel = {};
    has_flag = false, flags = 0;
    has_attribute = false;
    ResetAttributes();
  }
  void Reset() {
    command = {};
    has_request_id = false, request_id = 0;
    ResetStatus();
    ResetPayload();
  }
};

struct ApiDecoder::Parser {
  od::parser parser;
};

void ApiDecoder::FieldsDeleter::operator()(Fields* f) const { delete f; }
void ApiDecoder::ParserDeleter::operator()(Parser* p) const { delete p; }

namespace {

using Fields = ApiDecoder::Fields;

// A member's key. In a message without a backslash no key has escapes, and
// keys are compared where they stand in the text; otherwise they are
// unescaped first.
struct Key {
  const char* raw = nullptr;
  std::string_view text;
  simdjson_inline bool operator==(std::string_view name) const {
    if (raw == nullptr) return text == name;
    // The closing quote where the name would end settles most mismatches.
    return raw[name.size()] == '"' && std::memcmp(raw, name.data(), name.size()) == 0;
  }
};

simdjson_inline bool Member(simdjson::simdjson_result<od::field> result, bool plain_keys, Key* key, od::value* value) {
  od::field field;
  if (std::move(result).get(field)) return false;
  if (plain_keys) {
    key->raw = field.key().raw();
  } else {
    key->raw = nullptr;
    if (field.unescaped_key().get(key->text)) return false;
  }
  *value = field.value();
  return true;
}

// Each reader below tries the types it takes one after another: a value
// of another type is left where it is (the walk skips it), which costs less
// than asking for its type first. They return false only when the document
// itself is broken.

// A string of digits as an id.
bool DigitsId(std::string_view s, uint64_t* out) {
  if (s.empty() || s.size() > 20 || s[0] < '0' || s[0] > '9') return false;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), *out);
  return ec == std::errc() && end == s.data() + s.size();
}

bool Fatal(simdjson::error_code error) {
  return error != simdjson::SUCCESS && error != simdjson::INCORRECT_TYPE && error != simdjson::NUMBER_ERROR &&
         error != simdjson::NUMBER_OUT_OF_RANGE;
}

// An id: a whole number, or a string of digits (both forms are in use);
// `ok` tells whether the value was one.
simdjson_inline bool ReadId(od::value& v, bool* ok, uint64_t* out) {
  *ok = false;
  uint64_t n = 0;
  simdjson::error_code error = v.get_uint64().get(n);
  if (!error) {
    *out = n, *ok = true;
    return true;
  }
  if (Fatal(error)) return false;
  std::string_view s;
  error = v.get_string().get(s);
  if (!error) *ok = DigitsId(s, out);
  return !Fatal(error);
}

// A signed whole number (request ids, status parts), also as digits.
simdjson_inline bool ReadInt(od::value& v, bool* ok, int64_t* out) {
  int64_t n = 0;
  simdjson::error_code error = v.get_int64().get(n);
  if (!error) {
    *out = n, *ok = true;
    return true;
  }
  if (Fatal(error)) return false;
  uint64_t u = 0;
  if (!ReadId(v, ok, &u)) return false;
  if (*ok) *out = static_cast<int64_t>(u);
  return true;
}

// A string value; `ok` false for any other type.
simdjson_inline bool ReadString(od::value& v, bool* ok, std::string_view* out) {
  simdjson::error_code error = v.get_string().get(*out);
  *ok = error == simdjson::SUCCESS;
  if (!*ok) *out = {};
  return !error || error == simdjson::INCORRECT_TYPE;
}

// An attribute value: a string, or a number as written.
simdjson_inline bool ReadAttributeValue(od::value& v, std::string_view* out) {
  *out = {};
  simdjson::error_code error = v.get_string().get(*out);
  if (error != simdjson::INCORRECT_TYPE) return !error;
  std::string_view raw = v.raw_json_token();
  double number;
  error = v.get_double().get(number);
  if (error) return !Fatal(error);
  while (!raw.empty() && (raw.back() == ' ' || raw.back() == '\t' || raw.back() == '\n' || raw.back() == '\r'))
    raw.remove_suffix(1);
  *out = raw;
  return true;
}

void KeepAttribute(Fields& f, std::string_view key, std::string_view value) {
  if (key.empty()) return;
  if (SameAsciiName(key, "ProgramId")) {
    // The first usable one counts.
    if (!f.has_program && !value.empty() && value.size() <= 16) f.has_program = true, f.program = value;
  } else if (SameAsciiName(key, "Rate")) {
    if (f.rate.empty()) f.rate = value;
  } else if (SameAsciiName(key, "Rank")) {
    if (f.rank.empty()) f.rank = value;
  } else if (SameAsciiName(key, "Wins")) {
    if (f.wins.empty()) f.wins = value;
  }
}

// Attributes: a list of {key, value} (or {Key, Value}) pairs, or an object
// of key to value.
bool ReadAttributes(od::value v, Fields& f) {
  f.has_attribute = true;
  f.ResetAttributes();
  od::object obj;
  simdjson::error_code error = v.get_object().get(obj);
  if (Fatal(error)) return false;
  if (!error) {
    for (auto member : obj) {
      // Attribute names are matched without regard to case: read them whole.
      od::field field;
      std::string_view key, value;
      od::value item;
      if (std::move(member).get(field) || field.unescaped_key().get(key)) return false;
      item = field.value();
      if (!ReadAttributeValue(item, &value)) return false;
      KeepAttribute(f, key, value);
    }
    return true;
  }
  od::array list;
  error = v.get_array().get(list);
  if (error) return !Fatal(error);
  for (auto element : list) {
    od::value item;
    if (element.get(item)) return false;
    error = item.get_object().get(obj);
    if (Fatal(error)) return false;
    if (error) continue;  // not a pair
    std::string_view key, value;
    for (auto field : obj) {
      Key name;
      od::value member;
      if (!Member(field, f.plain_keys, &name, &member)) return false;
      if (name == "key" || name == "Key") {
        bool ok;
        if (!ReadString(member, &ok, &key)) return false;
      } else if (name == "value" || name == "Value") {
        if (!ReadAttributeValue(member, &value)) return false;
      }
    }
    KeepAttribute(f, key, value);
  }
  return true;
}

// Flags: one name, or a list of names.
bool ReadFlags(od::value v, Fields& f) {
  f.has_flag = true;
  f.flags = 0;
  std::string_view name;
  simdjson::error_code error = v.get_string().get(name);
  if (!error) {
    f.flags = FlagBit(name);
    return true;
  }
  if (Fatal(error)) return false;
  od::array list;
  error = v.get_array().get(list);
  if (error) return !Fatal(error);
  for (auto element : list) {
    od::value item;
    if (element.get(item)) return false;
    bool ok;
    if (!ReadString(item, &ok, &name)) return false;
    if (ok) f.flags |= FlagBit(name);
  }
  return true;
}

simdjson_inline bool ReadPayload(od::value& v, Fields& f) {
  f.ResetPayload();
  od::object obj;
  simdjson::error_code error = v.get_object().get(obj);
  if (error) return !Fatal(error);
  for (auto field : obj) {
    Key key;
    od::value value;
    if (!Member(field, f.plain_keys, &key, &value)) return false;
    bool ok = true;
    if (key == "user_id") {
      if (!ReadId(value, &f.has_user_id, &f.user_id)) return false;
    } else if (key == "toon_name") {
      if (!ReadString(value, &ok, &f.toon_name)) return false;
    } else if (key == "message") {
      if (!ReadString(value, &f.has_message, &f.message)) return false;
    } else if (key == "type") {
      if (!ReadString(value, &f.has_type, &f.type)) return false;
    } else if (key == "channel") {
      if (!ReadString(value, &f.has_channel, &f.channel)) return false;
    } else if (key == "flag" || key == "flags") {
      if (!ReadFlags(value, f)) return false;
    } else if (key == "attribute" || key == "attributes") {
      if (!ReadAttributes(value, f)) return false;
    }
  }
  return true;
}

bool ReadStatus(od::value v, Fields& f) {
  f.ResetStatus();
  od::object obj;
  simdjson::error_code error = v.get_object().get(obj);
  if (error) return !Fatal(error);
  f.has_status = true;
  for (auto field : obj) {
    Key key;
    od::value value;
    if (!Member(field, f.plain_keys, &key, &value)) return false;
    const bool area = key == "area";
    if (!area && !(key == "code")) continue;
    bool ok;
    int64_t n = 0;
    if (!ReadInt(value, &ok, &n)) return false;
    (area ? f.area : f.code) = ok ? static_cast<int>(n) : 0;
  }
  return true;
}

// Reads a whole message into `f`; false when it is not a JSON object.
bool ReadMessage(od::document& doc, Fields& f) {
  od::object obj;
  if (doc.get_object().get(obj)) return false;
  for (auto field : obj) {
    Key key;
    od::value value;
    if (!Member(field, f.plain_keys, &key, &value)) return false;
    bool ok = true;
    if (key == "command") {
      if (!ReadString(value, &ok, &f.command)) return false;
    } else if (key == "request_id" || key == "requestId") {
      if (!ReadInt(value, &f.has_request_id, &f.request_id)) return false;
    } else if (key == "status") {
      if (!ReadStatus(value, f)) return false;
    } else if (key == "payload") {
      if (!ReadPayload(value, f)) return false;
    }
  }
  return true;
}

}  // namespace

void ApiDecoder::Attribute::Set(std::string_view v) {
  size = static_cast<uint8_t>(std::min(v.size(), kAttributeSize));
  if (size != 0) std::memcpy(text, v.data(), size);
}

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
  // Nearly every message is ASCII: skip whole blocks of it, then check
  // sequence by sequence.
  size_t i = 0;
  while (i + 8 <= text.size()) {
    uint64_t block;
    std::memcpy(&block, text.data() + i, 8);
    if (block & 0x8080808080808080ULL) break;
    i += 8;
  }
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
  if (n != 0) std::memcpy(event->name, name.data(), n);
  event->name[n] = '\0';
  event->flags = flags;
  size_t t = std::min(text.size(), sizeof event->text - 1);
  if (t != 0) std::memcpy(event->text, text.data(), t);
  event->text[t] = '\0';
}

namespace {
void Emit(std::vector<ChatEvent>* events, int id, std::string_view name, uint32_t flags, std::string_view text) {
  events->emplace_back();
  FillEvent(&events->back(), id, name, flags, text);
}
}  // namespace

ApiDecoder::ApiDecoder() : fields_(new Fields), parser_(new Parser) {}

namespace {
// The line that reports a message the decoder cannot use.
void ProtocolError(std::vector<ChatEvent>* events, std::string_view what) {
  std::string text = "Chat API protocol error: ";
  text.append(what);
  Emit(events, kEvError, "", 0, text);
}
}  // namespace

ApiDecoder::Kind ApiDecoder::Decode(std::string_view message, int64_t now_ms, std::vector<ChatEvent>* events,
                                    Answer* answer) {
  events->clear();
  *answer = Answer{};
  // The parser reads up to its padding past the end: the message is copied
  // into a buffer that has it. The parser checks UTF-8 as it goes; only a
  // message it refuses for that is repaired and parsed again.
  input_.assign(message);
  if (input_.capacity() < input_.size() + simdjson::SIMDJSON_PADDING) input_.reserve(input_.size() + simdjson::SIMDJSON_PADDING);
  od::parser& parser = parser_->parser;
  od::document doc;
  simdjson::error_code error = parser.iterate(input_.data(), input_.size(), input_.capacity()).get(doc);
  if (error == simdjson::UTF8_ERROR && RepairUtf8(message, &input_)) {
    if (input_.capacity() < input_.size() + simdjson::SIMDJSON_PADDING) input_.reserve(input_.size() + simdjson::SIMDJSON_PADDING);
    error = parser.iterate(input_.data(), input_.size(), input_.capacity()).get(doc);
  }
  Fields& f = *fields_;
  f.Reset();
  f.plain_keys = std::memchr(input_.data(), '\\', input_.size()) == nullptr;
  if (error || !ReadMessage(doc, f)) {
    ProtocolError(events, "a message that is not a JSON object was ignored");
    return Kind::kMalformed;
  }
  const std::string_view command = f.command;
  if (command.empty()) {
    ProtocolError(events, "a message without \"command\" was ignored");
    return Kind::kMalformed;
  }

  std::lock_guard<std::mutex> lock(mutex_);
  if (command.size() > 8 && command.substr(command.size() - 8) == "Response") {
    if (!f.has_request_id) {
      ProtocolError(events, "an answer without \"request_id\" was ignored");
      return Kind::kMalformed;
    }
    Respond(answer, events);
    return Kind::kResponse;
  }
  if (command.substr(0, kChatPrefix.size()) != kChatPrefix) return Kind::kUnknown;
  std::string_view event = command.substr(kChatPrefix.size());
  if (f.has_status) {
    // A status on an event: the session decides what a failure means.
    answer->status.area = f.area;
    answer->status.code = f.code;
    answer->failed = f.area != 0 || f.code != 0;
  }
  bool complete = true;
  if (event == "UserUpdateEventRequest") {
    complete = UserUpdate(now_ms, events);
  } else if (event == "ConnectEventRequest") {
    if (!f.has_channel) {
      ProtocolError(events, "ConnectEventRequest without \"channel\" was ignored");
      return Kind::kMalformed;
    }
    // A new channel: whoever we knew stays behind, except ourselves.
    for (auto it = users_.begin(); it != users_.end();) it = (own_known_ && it->first == own_id_) ? std::next(it) : users_.erase(it);
    full_reported_ = false;
    Emit(events, kEvChannel, "", 0, f.channel);
    if (own_known_) {
      auto me = users_.find(own_id_);
      if (me != users_.end()) Emit(events, kEvShowUser, me->second.name, me->second.flags, me->second.product.View());
    }
    listing_ = true;
    listing_last_ms_ = now_ms;
  } else if (event == "UserLeaveEventRequest") {
    listing_ = false;
    complete = Leave(events);
  } else if (event == "MessageEventRequest") {
    listing_ = false;
    complete = Message(events);
  } else if (event == "DisconnectEventRequest") {
    return Kind::kDisconnect;
  } else {
    return Kind::kUnknown;
  }
  if (!complete) return Kind::kMalformed;
  if (answer->failed) {
    std::string text = "Chat API ";
    text.append(event).append(" came with status: ").append(DescribeStatus(answer->status));
    Emit(events, kEvError, "", 0, text);
  }
  return Kind::kEvent;
}

void ApiDecoder::SetAttributes(User* u) const {
  const Fields& f = *fields_;
  if (f.has_program) {
    char product[24];
    product[0] = '[';
    std::memcpy(product + 1, f.program.data(), f.program.size());
    product[f.program.size() + 1] = ']';
    u->product.Set({product, f.program.size() + 2});
  } else {
    u->product.Set("[CHAT]");  // a login without a program is a chat login
  }
  u->rate.Set(f.rate);
  u->rank.Set(f.rank);
  u->wins.Set(f.wins);
}

void ApiDecoder::DropOtherHolder(uint64_t id, std::string_view name, std::vector<ChatEvent>* events) {
  for (auto it = users_.begin(); it != users_.end(); ++it) {
    if (it->first == id || !SameAsciiName(it->second.name, name)) continue;
    if (own_known_ && it->first == own_id_) return;  // checked by the caller
    Emit(events, kEvLeave, it->second.name, it->second.flags, it->second.product.View());
    users_.erase(it);
    return;  // names are kept unique, so there is at most one
  }
}

bool ApiDecoder::UserUpdate(int64_t now_ms, std::vector<ChatEvent>* events) {
  const Fields& f = *fields_;
  if (!f.has_user_id) {
    ProtocolError(events, "UserUpdateEventRequest without \"user_id\" was ignored");
    return false;
  }
  const uint64_t id = f.user_id;
  const std::string_view name = f.toon_name;
  auto found = users_.find(id);
  // The bot's own name belongs to the bot: another id claiming it is not followed.
  if (!name.empty() && own_known_ && id != own_id_ && SameAsciiName(name, own_name_)) {
    ProtocolError(events, "another user id claims the bot's own name; ignored");
    return false;
  }
  if (found != users_.end() && !name.empty() && name != found->second.name) {
    // A new name for a known id: to the handlers, who go by name, that is
    // the old name leaving and the new one joining.
    User& u = found->second;
    DropOtherHolder(id, name, events);
    Emit(events, kEvLeave, u.name, u.flags, u.product.View());
    u.name.assign(name);
    if (f.has_flag) u.flags = f.flags;
    if (f.has_attribute) SetAttributes(&u);
    if (own_known_ && id == own_id_) {
      own_name_.assign(name);
      Emit(events, kEvName, u.name, u.flags, "");
    }
    Emit(events, kEvJoin, u.name, u.flags, u.product.View());
    return true;
  }
  if (found != users_.end()) {
    // A known user: only a real change is worth an event.
    User& u = found->second;
    const uint32_t flags = f.has_flag ? f.flags : u.flags;
    if (f.has_attribute) {
      const std::string_view old_product = u.product.View();
      char before[kAttributeSize];
      std::memcpy(before, old_product.data(), old_product.size());
      const std::string_view was(before, old_product.size());
      SetAttributes(&u);
      if (flags == u.flags && u.product.View() == was) return true;
    } else if (flags == u.flags) {
      return true;
    }
    u.flags = flags;
    Emit(events, kEvUserFlags, u.name, u.flags, u.product.View());
    return true;
  }
  if (name.empty()) {
    ProtocolError(events, "UserUpdateEventRequest for a new user without \"toon_name\" was ignored");
    return false;
  }
  AddUser(id, now_ms, events);
  return true;
}

void ApiDecoder::AddUser(uint64_t id, int64_t now_ms, std::vector<ChatEvent>* events) {
  const Fields& f = *fields_;
  if (users_.size() >= kMaxUsers) {
    // The oldest arrival stays; whoever comes past the cap is not followed.
    if (!full_reported_) {
      full_reported_ = true;
      Emit(events, kEvError, "", 0, "The channel has more users than Tolvik follows; newcomers are not listed");
    }
    return;
  }
  DropOtherHolder(id, f.toon_name, events);
  auto [it, added] = users_.emplace(std::piecewise_construct, std::forward_as_tuple(id), std::forward_as_tuple());
  User& u = it->second;
  u.name.assign(f.toon_name);
  u.flags = f.flags;
  SetAttributes(&u);
  if (!own_known_) {
    // The first user the server describes is the bot itself.
    own_known_ = true;
    own_id_ = id;
    own_name_.assign(u.name);
    Emit(events, kEvName, u.name, u.flags, "");
    return;
  }
  if (listing_ && now_ms - listing_last_ms_ > kListingQuietMs) listing_ = false;
  if (listing_) listing_last_ms_ = now_ms;
  Emit(events, listing_ ? kEvShowUser : kEvJoin, u.name, u.flags, u.product.View());
}

bool ApiDecoder::Leave(std::vector<ChatEvent>* events) {
  const Fields& f = *fields_;
  if (!f.has_user_id) {
    ProtocolError(events, "UserLeaveEventRequest without \"user_id\" was ignored");
    return false;
  }
  const uint64_t id = f.user_id;
  auto found = users_.find(id);
  if (found == users_.end()) return true;
  // A kick or ban still unanswered is confirmed by the leave it caused.
  for (auto& [rid, request] : requests_) {
    if (request.settled || request.target_id != id) continue;
    if (request.kind != RequestKind::kKick && request.kind != RequestKind::kBan) continue;
    request.settled = true;
    Confirm(request, events);
  }
  Emit(events, kEvLeave, found->second.name, found->second.flags, found->second.product.View());
  if (!(own_known_ && id == own_id_)) users_.erase(found);
  return true;
}

bool ApiDecoder::Message(std::vector<ChatEvent>* events) {
  const Fields& f = *fields_;
  if (!f.has_type || !f.has_message) {
    ProtocolError(events, f.has_type ? "MessageEventRequest without \"message\" was ignored"
                                     : "MessageEventRequest without \"type\" was ignored");
    return false;
  }
  const std::string_view type = f.type;
  const std::string_view text = f.message;
  if (type == "ServerInfo") {
    Emit(events, kEvInfo, "", 0, text);
    return true;
  }
  if (type == "ServerError") {
    Emit(events, kEvError, "", 0, text);
    return true;
  }
  auto found = f.has_user_id ? users_.find(f.user_id) : users_.end();
  std::string_view name;
  uint32_t flags = 0;
  if (found != users_.end()) {
    name = found->second.name;
    flags = found->second.flags;
  } else {
    name = f.toon_name;
  }
  if (name.empty()) {
    // An id we do not follow is talk from nobody we can name or answer; no
    // id and no name at all is a broken message.
    if (!f.has_user_id && (type == "Channel" || type == "Whisper" || type == "Emote")) {
      ProtocolError(events, "MessageEventRequest without \"user_id\" was ignored");
      return false;
    }
    return true;
  }
  if (type == "Channel") {
    Emit(events, kEvTalk, name, flags, text);
  } else if (type == "Whisper") {
    Emit(events, kEvWhisper, name, flags, text);
  } else if (type == "Emote") {
    Emit(events, kEvEmote, name, flags, text);
  }
  return true;
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
  answer->request_id = f.request_id;
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
  full_reported_ = false;
  requests_.clear();
  own_known_ = false;
  own_id_ = 0;
  own_name_.clear();
  listing_ = false;
}

bool ApiDecoder::FindUser(std::string_view name, uint64_t* id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  // A user whose name a command cannot carry is never found by name.
  for (const auto& [uid, user] : users_) {
    if (SameAsciiName(user.name, name) && NameCarriable(user.name)) {
      *id = uid;
      return true;
    }
  }
  return false;
}

bool ApiDecoder::FindUserInfo(std::string_view name, UserInfo* info) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& [uid, user] : users_) {
    if (!SameAsciiName(user.name, name)) continue;
    info->id = uid;
    const std::string_view product = user.product.View();
    info->program.assign(product.size() >= 2 ? product.substr(1, product.size() - 2) : product);
    info->rate.assign(user.rate.View());
    info->rank.assign(user.rank.View());
    info->wins.assign(user.wins.View());
    info->carriable = NameCarriable(user.name);
    return true;
  }
  return false;
}

std::string ApiDecoder::OwnName() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return own_name_;
}

void ApiDecoder::Expect(int64_t request_id, RequestKind kind, std::string target, uint64_t target_id) {
  std::lock_guard<std::mutex> lock(mutex_);
  // Answers that never come must not pile up: past the cap the oldest is dropped.
  if (requests_.size() >= kMaxRequests && requests_.find(request_id) == requests_.end()) {
    auto oldest = std::min_element(requests_.begin(), requests_.end(),
                                   [](const auto& a, const auto& b) { return a.second.order < b.second.order; });
    requests_.erase(oldest);
  }
  requests_[request_id] = Request{kind, std::move(target), target_id, false, request_order_++};
}

size_t ApiDecoder::UsersForTest() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return users_.size();
}

}  // namespace tolvik::api
