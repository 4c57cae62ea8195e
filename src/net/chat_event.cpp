#include "net/chat_event.h"

#include <climits>
#include <cstring>

namespace tolvik {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

const char* SkipSpace(const char* p) {
  while (IsSpace(*p)) ++p;
  return p;
}

// scanf's %d: optional sign, then digits. Saturates instead of overflowing.
bool ScanInt(const char*& p, int32_t* out) {
  const char* q = SkipSpace(p);
  bool neg = false;
  if (*q == '+' || *q == '-') neg = (*q++ == '-');
  if (*q < '0' || *q > '9') return false;
  long long v = 0;
  while (*q >= '0' && *q <= '9') {
    if (v <= INT_MAX) v = v * 10 + (*q - '0');
    ++q;
  }
  if (neg) v = -v;
  if (v > INT_MAX) v = INT_MAX;
  if (v < INT_MIN) v = INT_MIN;
  *out = static_cast<int32_t>(v);
  p = q;
  return true;
}

// scanf's %s bounded to size-1 characters; the rest of an over-long token is skipped.
bool ScanWord(const char*& p, char* out, int size) {
  const char* q = SkipSpace(p);
  if (*q == '\0') return false;
  int n = 0;
  while (*q != '\0' && !IsSpace(*q)) {
    if (n < size - 1) out[n++] = *q;
    ++q;
  }
  out[n] = '\0';
  p = q;
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// scanf's %x: optional sign, optional 0x, hex digits (wrapping like strtoul's low bits).
bool ScanHex(const char*& p, uint32_t* out) {
  const char* q = SkipSpace(p);
  bool neg = false;
  if (*q == '+' || *q == '-') neg = (*q++ == '-');
  if (q[0] == '0' && (q[1] == 'x' || q[1] == 'X') && HexDigit(q[2]) >= 0) q += 2;
  if (HexDigit(*q) < 0) return false;
  uint32_t v = 0;
  bool overflow = false;
  for (int d; (d = HexDigit(*q)) >= 0; ++q) {
    if (v > 0x0FFFFFFFu) overflow = true;
    v = (v << 4) | static_cast<uint32_t>(d);
  }
  if (overflow) v = 0xFFFFFFFFu;
  *out = neg ? 0u - v : v;
  p = q;
  return true;
}

bool HasNoNameOrFlags(int id) {
  switch (id) {
    case kEvShowUser:
    case kEvChannel:
    case kEvRawLine:
    case kEvChannelFull:
    case kEvChannelDoesNotExist:
    case kEvChannelRestricted:
    case kEvInfo:
    case kEvError:
      return true;
    default:
      return false;
  }
}

}  // namespace

bool ParseEvent(const char* line, ChatEvent* event) {
  if (line == nullptr || event == nullptr) return true;
  event->name[0] = '\0';
  event->text[0] = '\0';
  event->flags = 0;
  event->id = 0;

  // The id is the run of leading decimal digits.
  {
    long long v = 0;
    for (const char* p = line; *p >= '0' && *p <= '9'; ++p)
      if (v <= INT_MAX) v = v * 10 + (*p - '0');
    event->id = static_cast<int32_t>(v > INT_MAX ? INT_MAX : v);
  }
  const int id = event->id;

  char keyword[kNameSize];
  if (id == kEvShowUser || id == kEvJoin) {
    // "%d %s %s %x %s": the fifth token is the product tag.
    const char* p = line;
    int32_t scanned;
    if (ScanInt(p, &scanned) && ScanWord(p, keyword, sizeof keyword) && ScanWord(p, event->name, kNameSize) &&
        ScanHex(p, &event->flags))
      ScanWord(p, event->text, kTextSize);
  }
  if (!HasNoNameOrFlags(id)) {
    // "%d %s %s %x"
    const char* p = line;
    int32_t scanned;
    if (ScanInt(p, &scanned) && ScanWord(p, keyword, sizeof keyword) && ScanWord(p, event->name, kNameSize))
      ScanHex(p, &event->flags);
  }

  // The quoted part: up to 255 characters after the first quote, cut at the
  // last quote among them.
  if (const char* q = std::strchr(line, '"')) {
    ++q;
    size_t n = strnlen(q, kTextSize - 1);
    std::memcpy(event->text, q, n);
    event->text[n] = '\0';
    if (char* last = std::strrchr(event->text, '"')) *last = '\0';
  }
  return true;
}

bool NameCarriable(std::string_view name) {
  if (name.empty() || name.size() >= static_cast<size_t>(kNameSize - 1)) return false;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u == 0x7F) return false;
  }
  return true;
}

}  // namespace tolvik
