#include "net/api/api_decoder.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <utility>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <simdjson.h>

#include "net/user_flags.h"

namespace tolvik::api {
namespace {

namespace od = simdjson::ondemand;

constexpr char kChatPrefix[] = "Botapichat.";

// Flag names of the API (matched without regard to case) and the text
// gateway's bits they stand for. Nothing in the text protocol matches a
// whisper-only mute, so it maps to no bit.
struct FlagName {
  std::string_view name;
  uint32_t bit;
};
constexpr FlagName kFlagNames[] = {
    {"admin", kFlagBlizzard}, {"moderator", kFlagOperator}, {"speaker", kFlagSpeaker},
    {"muteglobal", kFlagSquelched}, {"mutewhisper", 0},
};

simdjson_inline char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c | 0x20) : c; }

bool SameAsciiName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i] && FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  return true;
}

// Copies n bytes. Names and lines are short: whole 16-byte pieces, the last
// one overlapping the one before, cost less than a copy of any length.
simdjson_inline void CopyShort(char* out, const char* from, size_t n) {
  if (n >= 16) {
    for (size_t i = 0; i + 16 < n; i += 16) std::memcpy(out + i, from + i, 16);
    std::memcpy(out + n - 16, from + n - 16, 16);
  } else if (n >= 8) {
    std::memcpy(out, from, 8);
    std::memcpy(out + n - 8, from + n - 8, 8);
  } else if (n >= 4) {
    std::memcpy(out, from, 4);
    std::memcpy(out + n - 4, from + n - 4, 4);
  } else {
    for (size_t i = 0; i < n; ++i) out[i] = from[i];
  }
}

simdjson_inline uint64_t Word(const char* p) {
  uint64_t w;
  std::memcpy(&w, p, 8);
  return w;
}
simdjson_inline uint32_t HalfWord(const char* p) {
  uint32_t w;
  std::memcpy(&w, p, 4);
  return w;
}

// Whether the n bytes at `a` and `b` are the same, a word at a time (the
// last word overlapping the one before), without a call.
simdjson_inline bool SameBytes(const char* a, const char* b, size_t n) {
  if (n >= 8) {
    for (size_t i = 0; i + 8 <= n; i += 8)
      if (Word(a + i) != Word(b + i)) return false;
    return n % 8 == 0 || Word(a + n - 8) == Word(b + n - 8);
  }
  if (n >= 4) return HalfWord(a) == HalfWord(b) && HalfWord(a + n - 4) == HalfWord(b + n - 4);
  for (size_t i = 0; i < n; ++i)
    if (a[i] != b[i]) return false;
  return true;
}

template <size_t N>
simdjson_inline bool Equals(std::string_view text, const char (&literal)[N]) {
  return text.size() == N - 1 && SameBytes(text.data(), literal, N - 1);
}

// Whether `text` is `lower` with ASCII case ignored, where `lower` is made
// of lower-case letters only: then setting the case bit of every byte of
// `text` is exact (no other byte turns into one of those letters).
simdjson_inline bool IsFolded(std::string_view text, std::string_view lower) {
  if (text.size() != lower.size()) return false;
  size_t i = 0;
  for (; i + 8 <= text.size(); i += 8)
    if ((Word(text.data() + i) | 0x2020202020202020ULL) != Word(lower.data() + i)) return false;
  for (; i < text.size(); ++i)
    if ((text[i] | 0x20) != lower[i]) return false;
  return true;
}

uint32_t FlagBit(std::string_view name) {
  // The names differ in length: one comparison settles it.
  for (const FlagName& f : kFlagNames)
    if (name.size() == f.name.size()) return IsFolded(name, f.name) ? f.bit : 0;
  return 0;
}

}  // namespace

// The parts of a message the decoder reads. A key that repeats counts with
// its last value, as in a parsed document; a value of the wrong type clears
// what came before. The texts point into the message or the parser's buffer
// and live until the next message.
struct ApiDecoder::Fields {
  bool plain = true;  // the message has no backslash (see Key and GetText)
  const char* input_end = nullptr;  // the end of the message
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

  // One plain store per field: chained assignments read each value back
  // before the next store, and that read stalls on the store before it.
  void ResetStatus() {
    has_status = false;
    area = 0;
    code = 0;
  }
  void ResetAttributes() {
    has_program = false;
    program = {};
    rate = {};
    rank = {};
    wins = {};
  }
  void ResetPayload() {
    has_user_id = false;
    user_id = 0;
    has_type = false;
    has_message = false;
    has_channel = false;
    toon_name = {};
    message = {};
    type = {};
    channel = {};
    has_flag = false;
    flags = 0;
    has_attribute = false;
    ResetAttributes();
  }
  void Reset() {
    command = {};
    has_request_id = false;
    request_id = 0;
    ResetStatus();
    ResetPayload();
  }
};

struct ApiDecoder::Parser {
  od::parser parser;
};

// Users sit in slots that are reused as users come and go (a name keeps its
// room), found through two indexes of slot numbers with linear probing: one
// by id, one by name with ASCII case ignored. Names are unique in the table
// (the decoder drops another holder before a name is taken).
struct ApiDecoder::Users {
  static constexpr uint32_t kEmpty = UINT32_MAX;
  static constexpr int kIndexBits = 11;
  static constexpr size_t kIndexSize = size_t{1} << kIndexBits;
  static constexpr size_t kMask = kIndexSize - 1;
  // At most half full, so a probe ends soon.
  static_assert(kIndexSize >= 2 * kMaxUsers);

  std::vector<User> slots;
  std::vector<uint32_t> name_homes;  // of each slot's name, kept to spare hashing it again
  std::vector<uint32_t> free_slots;
  std::vector<uint32_t> by_id = std::vector<uint32_t>(kIndexSize, kEmpty);
  std::vector<uint32_t> by_name = std::vector<uint32_t>(kIndexSize, kEmpty);
  size_t count = 0;

  static size_t Spread(uint64_t h) { return static_cast<size_t>((h * 0x9E3779B97F4A7C15ULL) >> (64 - kIndexBits)); }
  static size_t IdHome(uint64_t id) { return Spread(id); }
  // Eight bytes at a time, each ASCII capital turned to lower case.
  static uint64_t FoldWord(uint64_t w) {
    constexpr uint64_t kOnes = 0x0101010101010101ULL;
    const uint64_t low7 = w & (0x7F * kOnes);
    const uint64_t from_a = low7 + (0x80 - 'A') * kOnes;     // top bit: at least 'A'
    const uint64_t past_z = low7 + (0x80 - 'Z' - 1) * kOnes;  // top bit: past 'Z'
    const uint64_t capital = from_a & ~past_z & ~w & (0x80 * kOnes);
    return w | (capital >> 2);
  }
  static size_t NameHome(std::string_view name) {
    uint64_t h = 0xCBF29CE484222325ULL ^ name.size();
    size_t i = 0;
    for (; i + 8 <= name.size(); i += 8) h = (h ^ FoldWord(Word(name.data() + i))) * 0x100000001B3ULL;
    if (i < name.size()) {
      uint64_t rest = 0;
      std::memcpy(&rest, name.data() + i, name.size() - i);
      h = (h ^ FoldWord(rest)) * 0x100000001B3ULL;
    }
    return Spread(h ^ (h >> 29));
  }
  size_t Home(const std::vector<uint32_t>& index, uint32_t slot) const {
    return &index == &by_id ? IdHome(slots[slot].id) : name_homes[slot];
  }

  User* Find(uint64_t id) {
    for (size_t i = IdHome(id);; i = (i + 1) & kMask) {
      const uint32_t slot = by_id[i];
      if (slot == kEmpty) return nullptr;
      if (slots[slot].id == id) return &slots[slot];
    }
  }
  const User* FindName(std::string_view name) const {
    for (size_t i = NameHome(name);; i = (i + 1) & kMask) {
      const uint32_t slot = by_name[i];
      if (slot == kEmpty) return nullptr;
      if (SameAsciiName(slots[slot].name, name)) return &slots[slot];
    }
  }
  User* FindName(std::string_view name) { return const_cast<User*>(std::as_const(*this).FindName(name)); }

  static void Insert(std::vector<uint32_t>& index, size_t home, uint32_t slot) {
    size_t i = home;
    while (index[i] != kEmpty) i = (i + 1) & kMask;
    index[i] = slot;
  }
  // Takes `slot` out of `index`, moving back the entries after it that
  // would otherwise no longer be reached from their home.
  void Remove(std::vector<uint32_t>& index, size_t home, uint32_t slot) {
    size_t hole = home;
    while (index[hole] != slot) hole = (hole + 1) & kMask;
    for (size_t i = (hole + 1) & kMask; index[i] != kEmpty; i = (i + 1) & kMask) {
      const size_t want = Home(index, index[i]);
      // The entry stays unless its home lies cyclically in (hole, i].
      const bool stays = hole < i ? (want > hole && want <= i) : (want > hole || want <= i);
      if (stays) continue;
      index[hole] = index[i];
      hole = i;
    }
    index[hole] = kEmpty;
  }

  // A new user; the caller keeps the count within kMaxUsers.
  User* Add(uint64_t id, std::string_view name) {
    uint32_t slot;
    if (free_slots.empty()) {
      slot = static_cast<uint32_t>(slots.size());
      slots.emplace_back();
      name_homes.push_back(0);
    } else {
      slot = free_slots.back();
      free_slots.pop_back();
    }
    User& u = slots[slot];
    u.id = id;
    u.name.assign(name);
    u.flags = 0;
    name_homes[slot] = static_cast<uint32_t>(NameHome(name));
    Insert(by_id, IdHome(id), slot);
    Insert(by_name, name_homes[slot], slot);
    ++count;
    return &u;
  }
  void Rename(User* u, std::string_view name) {
    const auto slot = static_cast<uint32_t>(u - slots.data());
    Remove(by_name, name_homes[slot], slot);
    u->name.assign(name);
    name_homes[slot] = static_cast<uint32_t>(NameHome(name));
    Insert(by_name, name_homes[slot], slot);
  }
  void Erase(User* u) {
    const auto slot = static_cast<uint32_t>(u - slots.data());
    Remove(by_id, IdHome(u->id), slot);
    Remove(by_name, name_homes[slot], slot);
    free_slots.push_back(slot);
    --count;
  }
  // Forgets everyone but `keep` (when not null).
  void KeepOnly(const User* keep) {
    std::fill(by_id.begin(), by_id.end(), kEmpty);
    std::fill(by_name.begin(), by_name.end(), kEmpty);
    free_slots.clear();
    count = 0;
    for (size_t n = slots.size(); n-- > 0;) {
      const auto slot = static_cast<uint32_t>(n);
      if (&slots[slot] != keep) {
        free_slots.push_back(slot);
        continue;
      }
      Insert(by_id, IdHome(keep->id), slot);
      Insert(by_name, name_homes[slot], slot);
      ++count;
    }
  }
};

// A new record in a vector is first cleared whole (hundreds of bytes); the
// records a vector already holds are written over instead, and what is left
// over is cut off once the message is done.
struct ApiDecoder::Records {
  explicit Records(std::vector<ChatEvent>* e) : events(e) {}
  ~Records() { events->resize(count); }
  Records(const Records&) = delete;
  Records& operator=(const Records&) = delete;
  ChatEvent* Next() {
    if (count == events->size()) events->emplace_back();
    return &(*events)[count++];
  }
  std::vector<ChatEvent>* events;
  size_t count = 0;
};

void ApiDecoder::FieldsDeleter::operator()(Fields* f) const { delete f; }
void ApiDecoder::ParserDeleter::operator()(Parser* p) const { delete p; }
void ApiDecoder::UsersDeleter::operator()(Users* u) const { delete u; }

namespace {

using Fields = ApiDecoder::Fields;

// A member's key. In a message without a backslash no key has escapes, and
// keys are compared where they stand in the text; otherwise they are
// unescaped first.
struct Key {
  const char* raw = nullptr;
  std::string_view text;
  // The first character, to choose among the names worth comparing; 0 for
  // an empty key.
  simdjson_inline char First() const {
    if (raw != nullptr) return raw[0] == '"' ? '\0' : raw[0];
    return text.empty() ? '\0' : text[0];
  }
  template <size_t N>
  simdjson_inline bool Is(const char (&name)[N]) const {
    constexpr size_t n = N - 1;
    if (raw == nullptr) return Equals(text, name);
    // The closing quote where the name would end settles most mismatches.
    // The parser's padding keeps the read inside the buffer.
    return raw[n] == '"' && SameBytes(raw, name, n);
  }
};

simdjson_inline bool Member(simdjson::simdjson_result<od::field> result, bool plain, Key* key, od::value* value) {
  od::field field;
  if (std::move(result).get(field)) return false;
  if (plain) {
    key->raw = field.key().raw();
  } else {
    key->raw = nullptr;
    if (field.unescaped_key().get(key->text)) return false;
  }
  *value = field.value();
  return true;
}

// A string value. In a message without a backslash no string has escapes:
// the text is taken where it stands (the parser has checked the token and
// its UTF-8); otherwise it is unescaped into the parser's buffer.
simdjson_inline simdjson::error_code GetText(od::value& v, bool plain, std::string_view* out) {
  if (!plain) return v.get_string().get(*out);
  std::string_view raw = v.raw_json_token();
  if (raw.empty() || raw[0] != '"') return simdjson::INCORRECT_TYPE;
  // A string token ends with its closing quote, then perhaps spaces.
  while (raw.size() > 1 && raw.back() != '"') raw.remove_suffix(1);
  if (raw.size() < 2) return simdjson::STRING_ERROR;
  *out = std::string_view(raw.data() + 1, raw.size() - 2);
  return simdjson::SUCCESS;
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
simdjson_inline bool ReadId(od::value& v, bool plain, bool* ok, uint64_t* out) {
  *ok = false;
  uint64_t n = 0;
  simdjson::error_code error = v.get_uint64().get(n);
  if (!error) {
    *out = n, *ok = true;
    return true;
  }
  if (Fatal(error)) return false;
  std::string_view s;
  error = GetText(v, plain, &s);
  if (!error) *ok = DigitsId(s, out);
  return !Fatal(error);
}

// A signed whole number (request ids, status parts), also as digits.
simdjson_inline bool ReadInt(od::value& v, bool plain, bool* ok, int64_t* out) {
  int64_t n = 0;
  simdjson::error_code error = v.get_int64().get(n);
  if (!error) {
    *out = n, *ok = true;
    return true;
  }
  if (Fatal(error)) return false;
  uint64_t u = 0;
  if (!ReadId(v, plain, ok, &u)) return false;
  if (*ok) *out = static_cast<int64_t>(u);
  return true;
}

// A string value; `ok` false for any other type.
simdjson_inline bool ReadString(od::value& v, bool plain, bool* ok, std::string_view* out) {
  simdjson::error_code error = GetText(v, plain, out);
  *ok = error == simdjson::SUCCESS;
  if (!*ok) *out = {};
  return !error || error == simdjson::INCORRECT_TYPE;
}

// An attribute value: a string, or a number as written.
simdjson_inline bool ReadAttributeValue(od::value& v, bool plain, std::string_view* out) {
  *out = {};
  simdjson::error_code error = GetText(v, plain, out);
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
  if (IsFolded(key, "programid")) {
    // The first usable one counts.
    if (!f.has_program && !value.empty() && value.size() <= 16) f.has_program = true, f.program = value;
  } else if (IsFolded(key, "rate")) {
    if (f.rate.empty()) f.rate = value;
  } else if (IsFolded(key, "rank")) {
    if (f.rank.empty()) f.rank = value;
  } else if (IsFolded(key, "wins")) {
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
      if (std::move(member).get(field)) return false;
      if (f.plain) {
        // No escapes: the key runs to the next quote.
        const char* raw = field.key().raw();
        const void* quote = std::memchr(raw, '"', static_cast<size_t>(f.input_end - raw));
        if (quote == nullptr) return false;
        key = std::string_view(raw, static_cast<size_t>(static_cast<const char*>(quote) - raw));
      } else if (field.unescaped_key().get(key)) {
        return false;
      }
      item = field.value();
      if (!ReadAttributeValue(item, f.plain, &value)) return false;
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
      if (!Member(field, f.plain, &name, &member)) return false;
      const char first = name.First();
      if ((first == 'k' && name.Is("key")) || (first == 'K' && name.Is("Key"))) {
        bool ok;
        if (!ReadString(member, f.plain, &ok, &key)) return false;
      } else if ((first == 'v' && name.Is("value")) || (first == 'V' && name.Is("Value"))) {
        if (!ReadAttributeValue(member, f.plain, &value)) return false;
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
  simdjson::error_code error = GetText(v, f.plain, &name);
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
    if (!ReadString(item, f.plain, &ok, &name)) return false;
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
    if (!Member(field, f.plain, &key, &value)) return false;
    bool ok = true;
    bool read = true;
    // Most likely first: every event has an id, most are talk.
    const char first = key.First();
    if (first == 'u') {
      if (key.Is("user_id")) read = ReadId(value, f.plain, &f.has_user_id, &f.user_id);
    } else if (first == 'm') {
      if (key.Is("message")) read = ReadString(value, f.plain, &f.has_message, &f.message);
    } else if (first == 't') {
      if (key.Is("type")) {
        read = ReadString(value, f.plain, &f.has_type, &f.type);
      } else if (key.Is("toon_name")) {
        read = ReadString(value, f.plain, &ok, &f.toon_name);
      }
    } else if (first == 'f') {
      if (key.Is("flag") || key.Is("flags")) read = ReadFlags(value, f);
    } else if (first == 'a') {
      if (key.Is("attribute") || key.Is("attributes")) read = ReadAttributes(value, f);
    } else if (first == 'c') {
      if (key.Is("channel")) read = ReadString(value, f.plain, &f.has_channel, &f.channel);
    }
    if (!read) return false;
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
    if (!Member(field, f.plain, &key, &value)) return false;
    const bool area = key.First() == 'a' && key.Is("area");
    if (!area && !(key.First() == 'c' && key.Is("code"))) continue;
    bool ok;
    int64_t n = 0;
    if (!ReadInt(value, f.plain, &ok, &n)) return false;
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
    if (!Member(field, f.plain, &key, &value)) return false;
    bool ok = true;
    bool read = true;
    switch (key.First()) {
      case 'c':
        if (key.Is("command")) read = ReadString(value, f.plain, &ok, &f.command);
        break;
      case 'r':
        if (key.Is("request_id") || key.Is("requestId")) read = ReadInt(value, f.plain, &f.has_request_id, &f.request_id);
        break;
      case 's':
        if (key.Is("status")) read = ReadStatus(value, f);
        break;
      case 'p':
        if (key.Is("payload")) read = ReadPayload(value, f);
        break;
      default:
        break;
    }
    if (!read) return false;
  }
  return true;
}

}  // namespace

void ApiDecoder::Attribute::Set(std::string_view v) {
  size = static_cast<uint8_t>(std::min(v.size(), kAttributeSize));
  CopyShort(text, v.data(), size);
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

namespace {
// Copies `text` into `out` (`room` bytes), cut to fit with its terminator.
template <size_t room>
void CopyTerminated(char (&out)[room], std::string_view text) {
  const size_t n = std::min(text.size(), room - 1);
  CopyShort(out, text.data(), n);
  out[n] = '\0';
}

simdjson_inline void Fill(ChatEvent* event, int id, std::string_view name, uint32_t flags, std::string_view text) {
  event->id = id;
  CopyTerminated(event->name, name);
  event->flags = flags;
  CopyTerminated(event->text, text);
}
}  // namespace

void FillEvent(ChatEvent* event, int id, std::string_view name, uint32_t flags, std::string_view text) {
  Fill(event, id, name, flags, text);
}

namespace {
void Emit(ApiDecoder::Records* events, int id, std::string_view name, uint32_t flags, std::string_view text) {
  Fill(events->Next(), id, name, flags, text);
}

// The line that reports a message the decoder cannot use.
void ProtocolError(ApiDecoder::Records* events, std::string_view what) {
  std::string text = "Chat API protocol error: ";
  text.append(what);
  Emit(events, kEvError, "", 0, text);
}

// Copies n bytes and tells whether there was a backslash among them, in one
// pass.
bool CopyFindingBackslash(char* out, const char* in, size_t n) {
#if defined(__SSE2__)
  if (n >= 16) {
    const __m128i backslash = _mm_set1_epi8('\\');
    __m128i found = _mm_setzero_si128();
    auto piece = [&](size_t i) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), v);
      found = _mm_or_si128(found, _mm_cmpeq_epi8(v, backslash));
    };
    for (size_t i = 0; i + 16 < n; i += 16) piece(i);
    piece(n - 16);  // the last piece overlaps the one before
    return _mm_movemask_epi8(found) != 0;
  }
#endif
  if (n != 0) std::memcpy(out, in, n);
  return n != 0 && std::memchr(in, '\\', n) != nullptr;
}
}  // namespace

ApiDecoder::ApiDecoder() : fields_(new Fields), parser_(new Parser), users_(new Users) {}

bool ApiDecoder::CopyIn(std::string_view text) {
  if (input_room_ < text.size() + simdjson::SIMDJSON_PADDING) {
    input_room_ = std::max(text.size() + simdjson::SIMDJSON_PADDING, 2 * input_room_);
    input_.reset(new char[input_room_]);
  }
  return CopyFindingBackslash(input_.get(), text.data(), text.size());
}

ApiDecoder::Kind ApiDecoder::Decode(std::string_view message, int64_t now_ms, std::vector<ChatEvent>* records,
                                    Answer* answer) {
  Records out(records);
  Records* const events = &out;
  *answer = Answer{};
  // The parser reads up to its padding past the end: the message is copied
  // into a buffer that has it. The parser checks UTF-8 as it goes; only a
  // message it refuses for that is repaired and parsed again (a repair never
  // adds or removes a backslash).
  Fields& f = *fields_;
  f.Reset();
  size_t size = message.size();
  f.plain = !CopyIn(message);
  od::parser& parser = parser_->parser;
  od::document doc;
  simdjson::error_code error = parser.iterate(input_.get(), size, input_room_).get(doc);
  if (error == simdjson::UTF8_ERROR && RepairUtf8(message, &repaired_)) {
    size = repaired_.size();
    CopyIn(repaired_);
    error = parser.iterate(input_.get(), size, input_room_).get(doc);
  }
  f.input_end = input_.get() + size;
  if (error || !ReadMessage(doc, f)) {
    ProtocolError(events, "a message that is not a JSON object was ignored");
    return Kind::kMalformed;
  }
  const std::string_view command = f.command;
  if (command.empty()) {
    ProtocolError(events, "a message without \"command\" was ignored");
    return Kind::kMalformed;
  }

  if (command.size() > 8 && Equals(std::string_view(command.data() + command.size() - 8, 8), "Response")) {
    if (!f.has_request_id) {
      ProtocolError(events, "an answer without \"request_id\" was ignored");
      return Kind::kMalformed;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    Respond(answer, events);
    return Kind::kResponse;
  }
  constexpr size_t kPrefixSize = sizeof kChatPrefix - 1;
  if (command.size() < kPrefixSize || !Equals(std::string_view(command.data(), kPrefixSize), kChatPrefix))
    return Kind::kUnknown;
  const std::string_view event(command.data() + kPrefixSize, command.size() - kPrefixSize);
  if (f.has_status) {
    // A status on an event: the session decides what a failure means.
    answer->status.area = f.area;
    answer->status.code = f.code;
    answer->failed = f.area != 0 || f.code != 0;
  }
  bool complete = true;
  if (Equals(event, "UserUpdateEventRequest")) {
    std::lock_guard<std::mutex> lock(mutex_);
    complete = UserUpdate(now_ms, events);
  } else if (Equals(event, "ConnectEventRequest")) {
    if (!f.has_channel) {
      ProtocolError(events, "ConnectEventRequest without \"channel\" was ignored");
      return Kind::kMalformed;
    }
    // A new channel: whoever we knew stays behind, except ourselves.
    const User* me = own_known_ ? users_->Find(own_id_) : nullptr;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      users_->KeepOnly(me);
    }
    full_reported_ = false;
    Emit(events, kEvChannel, "", 0, f.channel);
    if (me != nullptr) Emit(events, kEvShowUser, me->name, me->flags, me->product.View());
    listing_ = true;
    listing_last_ms_ = now_ms;
  } else if (Equals(event, "UserLeaveEventRequest")) {
    listing_ = false;
    complete = Leave(events);
  } else if (Equals(event, "MessageEventRequest")) {
    listing_ = false;
    complete = Message(events);
  } else if (Equals(event, "DisconnectEventRequest")) {
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

void ApiDecoder::DropOtherHolder(uint64_t id, std::string_view name, Records* events) {
  User* other = users_->FindName(name);
  if (other == nullptr || other->id == id) return;  // names are unique: no one else has it
  if (own_known_ && other->id == own_id_) return;   // checked by the caller
  Emit(events, kEvLeave, other->name, other->flags, other->product.View());
  users_->Erase(other);
}

bool ApiDecoder::UserUpdate(int64_t now_ms, Records* events) {
  const Fields& f = *fields_;
  if (!f.has_user_id) {
    ProtocolError(events, "UserUpdateEventRequest without \"user_id\" was ignored");
    return false;
  }
  const uint64_t id = f.user_id;
  const std::string_view name = f.toon_name;
  User* found = users_->Find(id);
  // The bot's own name belongs to the bot: another id claiming it is not followed.
  if (!name.empty() && own_known_ && id != own_id_ && SameAsciiName(name, own_name_)) {
    ProtocolError(events, "another user id claims the bot's own name; ignored");
    return false;
  }
  if (found != nullptr && !name.empty() && name != found->name) {
    // A new name for a known id: to the handlers, who go by name, that is
    // the old name leaving and the new one joining.
    User& u = *found;
    DropOtherHolder(id, name, events);
    Emit(events, kEvLeave, u.name, u.flags, u.product.View());
    users_->Rename(&u, name);
    if (f.has_flag) u.flags = f.flags;
    if (f.has_attribute) SetAttributes(&u);
    if (own_known_ && id == own_id_) {
      own_name_.assign(name);
      Emit(events, kEvName, u.name, u.flags, "");
    }
    Emit(events, kEvJoin, u.name, u.flags, u.product.View());
    return true;
  }
  if (found != nullptr) {
    // A known user: only a real change is worth an event.
    User& u = *found;
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

void ApiDecoder::AddUser(uint64_t id, int64_t now_ms, Records* events) {
  const Fields& f = *fields_;
  if (users_->count >= kMaxUsers) {
    // The oldest arrival stays; whoever comes past the cap is not followed.
    if (!full_reported_) {
      full_reported_ = true;
      Emit(events, kEvError, "", 0, "The channel has more users than Tolvik follows; newcomers are not listed");
    }
    return;
  }
  DropOtherHolder(id, f.toon_name, events);
  User& u = *users_->Add(id, f.toon_name);
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

bool ApiDecoder::Leave(Records* events) {
  const Fields& f = *fields_;
  if (!f.has_user_id) {
    ProtocolError(events, "UserLeaveEventRequest without \"user_id\" was ignored");
    return false;
  }
  const uint64_t id = f.user_id;
  User* found = users_->Find(id);
  if (found == nullptr) return true;
  std::lock_guard<std::mutex> lock(mutex_);
  // A kick or ban still unanswered is confirmed by the leave it caused.
  for (auto& [rid, request] : requests_) {
    if (request.settled || request.target_id != id) continue;
    if (request.kind != RequestKind::kKick && request.kind != RequestKind::kBan) continue;
    request.settled = true;
    Confirm(request, events);
  }
  Emit(events, kEvLeave, found->name, found->flags, found->product.View());
  if (!(own_known_ && id == own_id_)) users_->Erase(found);
  return true;
}

bool ApiDecoder::Message(Records* events) {
  const Fields& f = *fields_;
  if (!f.has_type || !f.has_message) {
    ProtocolError(events, f.has_type ? "MessageEventRequest without \"message\" was ignored"
                                     : "MessageEventRequest without \"type\" was ignored");
    return false;
  }
  const std::string_view type = f.type;
  const std::string_view text = f.message;
  if (Equals(type, "ServerInfo")) {
    Emit(events, kEvInfo, "", 0, text);
    return true;
  }
  if (Equals(type, "ServerError")) {
    Emit(events, kEvError, "", 0, text);
    return true;
  }
  const User* found = f.has_user_id ? users_->Find(f.user_id) : nullptr;
  std::string_view name;
  uint32_t flags = 0;
  if (found != nullptr) {
    name = found->name;
    flags = found->flags;
  } else {
    name = f.toon_name;
  }
  if (name.empty()) {
    // An id we do not follow is talk from nobody we can name or answer; no
    // id and no name at all is a broken message.
    if (!f.has_user_id && (Equals(type, "Channel") || Equals(type, "Whisper") || Equals(type, "Emote"))) {
      ProtocolError(events, "MessageEventRequest without \"user_id\" was ignored");
      return false;
    }
    return true;
  }
  if (Equals(type, "Channel")) {
    Emit(events, kEvTalk, name, flags, text);
  } else if (Equals(type, "Whisper")) {
    Emit(events, kEvWhisper, name, flags, text);
  } else if (Equals(type, "Emote")) {
    Emit(events, kEvEmote, name, flags, text);
  }
  return true;
}
void ApiDecoder::Respond(Answer* answer, Records* events) {
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

void ApiDecoder::Confirm(const Request& r, Records* events) const {
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
  users_->KeepOnly(nullptr);
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
  const User* user = users_->FindName(name);
  if (user == nullptr || !NameCarriable(user->name)) return false;
  *id = user->id;
  return true;
}

bool ApiDecoder::FindUserInfo(std::string_view name, UserInfo* info) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const User* user = users_->FindName(name);
  if (user == nullptr) return false;
  info->id = user->id;
  const std::string_view product = user->product.View();
  info->program.assign(product.size() >= 2 ? product.substr(1, product.size() - 2) : product);
  info->rate.assign(user->rate.View());
  info->rank.assign(user->rank.View());
  info->wins.assign(user->wins.View());
  info->carriable = NameCarriable(user->name);
  return true;
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
  return users_->count;
}

}  // namespace tolvik::api
