#include "bot/temp_bans.h"

#include <algorithm>
#include <charconv>

#include "bot/read_word.h"
#include "storage/atomic_file.h"

namespace tolvik {

std::string TempBans::Path() const { return dir_ + "/" + kFileName; }

void TempBans::Load() {
  bans_.clear();
  std::string bytes;
  if (!ReadWholeFile(Path(), bytes)) return;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::string_view line(bytes.data() + start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const size_t t1 = line.find('\t');
    if (t1 == std::string_view::npos || t1 == 0) continue;
    std::string_view rest = line.substr(t1 + 1);
    const size_t t2 = rest.find('\t');
    std::string_view number = rest.substr(0, t2);
    long long seconds = 0;
    auto [p, ec] = std::from_chars(number.data(), number.data() + number.size(), seconds);
    if (ec != std::errc() || p != number.data() + number.size()) continue;
    bans_.push_back(Ban{std::string(line.substr(0, t1)), TimePoint(std::chrono::seconds(seconds)),
                        t2 == std::string_view::npos ? std::string() : std::string(rest.substr(t2 + 1))});
  }
}

bool TempBans::Save() const {
  std::string bytes;
  for (const Ban& b : bans_) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(b.end.time_since_epoch()).count();
    std::string reason = b.reason;
    std::replace(reason.begin(), reason.end(), '\t', ' ');
    std::replace(reason.begin(), reason.end(), '\n', ' ');
    bytes += b.name + '\t' + std::to_string(seconds) + '\t' + reason + '\n';
  }
  return WriteFileAtomically(Path(), bytes);
}

bool TempBans::Add(const std::string& name, TimePoint end, const std::string& reason) {
  for (Ban& b : bans_) {
    if (SameName(b.name, name)) {
      b.end = std::max(b.end, end);
      b.reason = reason;
      return Save();
    }
  }
  bans_.push_back(Ban{name, end, reason});
  return Save();
}

std::vector<TempBans::Ban> TempBans::TakeDue(TimePoint now) {
  std::vector<Ban> due;
  auto keep = std::stable_partition(bans_.begin(), bans_.end(), [&](const Ban& b) { return b.end > now; });
  due.assign(std::make_move_iterator(keep), std::make_move_iterator(bans_.end()));
  bans_.erase(keep, bans_.end());
  if (!due.empty()) Save();
  return due;
}

bool TempBans::Remove(const std::string& name) {
  auto it = std::find_if(bans_.begin(), bans_.end(), [&](const Ban& b) { return SameName(b.name, name); });
  if (it == bans_.end()) return false;
  bans_.erase(it);
  return Save();
}

std::optional<TempBans::TimePoint> TempBans::NextDue() const {
  if (bans_.empty()) return std::nullopt;
  return std::min_element(bans_.begin(), bans_.end(), [](const Ban& a, const Ban& b) { return a.end < b.end; })->end;
}

}  // namespace tolvik
