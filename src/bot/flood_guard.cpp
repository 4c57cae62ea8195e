#include "bot/flood_guard.h"

#include <strings.h>

namespace tolvik {
namespace {

constexpr uint64_t kFnvOffset = 1469598103934665603ull;
constexpr uint64_t kFnvPrime = 1099511628211ull;

inline unsigned char Lower(unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c; }

}  // namespace

size_t FloodGuard::NameHash::operator()(std::string_view s) const {
  uint64_t h = kFnvOffset;
  for (unsigned char c : s) h = (h ^ Lower(c)) * kFnvPrime;
  return static_cast<size_t>(h);
}

bool FloodGuard::NameEqual::operator()(std::string_view a, std::string_view b) const {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

uint64_t FloodGuard::LineHash(std::string_view text) {
  uint64_t h = kFnvOffset;
  bool blank = false;
  bool any = false;
  for (unsigned char c : text) {
    if (c == ' ' || c == '\t') {
      blank = true;
      continue;
    }
    if (blank && any) h = (h ^ ' ') * kFnvPrime;
    blank = false;
    any = true;
    h = (h ^ Lower(c)) * kFnvPrime;
  }
  return h;
}

void FloodGuard::Configure(bool flood, int lines, int seconds, bool repeat, int repeats) {
  flood_ = flood;
  lines_ = static_cast<size_t>(lines < 1 ? 1 : lines);
  window_ = std::chrono::seconds(seconds < 1 ? 1 : seconds);
  repeat_ = repeat;
  repeats_ = repeats < 2 ? 2 : repeats;
  users_.clear();  // rings sized for the old numbers
}

FloodGuard::Verdict FloodGuard::OnLine(std::string_view name, std::string_view text, Clock::time_point now) {
  if (!flood_ && !repeat_) return Verdict::None;
  auto it = users_.find(name);
  if (it == users_.end()) {
    it = users_.emplace(std::string(name), UserState{}).first;
    it->second.times.resize(lines_);
  }
  UserState& u = it->second;

  if (flood_) {
    // The ring holds the last `lines_` times; when full, its oldest is the
    // time of the line `lines_` before this one.
    if (u.filled == lines_ && now - u.times[u.next] < window_) {
      u.filled = 0;
      u.next = 0;
      u.run = 0;
      return Verdict::Flood;
    }
    u.times[u.next] = now;
    u.next = (u.next + 1) % lines_;
    if (u.filled < lines_) ++u.filled;
  }

  if (repeat_) {
    const uint64_t h = LineHash(text);
    if (u.run > 0 && h == u.last_hash && now - u.run_start <= kRepeatWindow) {
      ++u.run;
    } else {
      u.run = 1;
      u.run_start = now;
      u.last_hash = h;
    }
    if (u.run >= repeats_) {
      u.run = 0;
      return Verdict::Repeat;
    }
  }
  return Verdict::None;
}

void FloodGuard::Forget(std::string_view name) {
  auto it = users_.find(name);
  if (it != users_.end()) users_.erase(it);
}

}  // namespace tolvik
