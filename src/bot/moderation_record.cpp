#include "bot/moderation_record.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "bot/read_word.h"
#include "storage/atomic_file.h"

namespace tolvik {
namespace {

std::string Clean(std::string field) {
  for (char& c : field)
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  return field;
}

bool SameAction(const std::string& waiting, const std::string& answered) {
  return waiting == answered || (answered == "ban" && waiting == "tempban");
}

std::string RotatedPath(const std::string& base, int n) { return n == 0 ? base : base + "." + std::to_string(n); }

std::optional<std::chrono::system_clock::time_point> ParseIsoUtc(const std::string& text) {
  std::tm tm{};
  if (strptime(text.c_str(), "%Y-%m-%dT%H:%M:%SZ", &tm) == nullptr) return std::nullopt;
  return std::chrono::system_clock::from_time_t(timegm(&tm));
}

}  // namespace

std::string IsoUtc(std::chrono::system_clock::time_point time) {
  const std::time_t t = std::chrono::system_clock::to_time_t(time);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return text;
}

std::string FormatModerationLine(const ModerationEntry& e) {
  return IsoUtc(e.time) + '\t' + Clean(e.actor) + '\t' + Clean(e.action) + '\t' + Clean(e.target) + '\t' +
         Clean(e.reason) + '\t' + Clean(e.result) + '\n';
}

std::string DescribeModerationEntry(const ModerationEntry& e) {
  std::string line = IsoUtc(e.time) + " " + e.actor + " " + e.action + " " + e.target;
  if (!e.reason.empty()) line += " (" + e.reason + ")";
  return line + " " + e.result;
}

std::optional<ModerationEntry> ParseModerationLine(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) break;
    start = tab + 1;
  }
  if (fields.size() != 6) return std::nullopt;
  if (!fields[5].empty() && fields[5].back() == '\r') fields[5].pop_back();
  std::optional<std::chrono::system_clock::time_point> time = ParseIsoUtc(fields[0]);
  if (!time) return std::nullopt;
  return ModerationEntry{*time, fields[1], fields[2], fields[3], fields[4], fields[5]};
}

std::vector<ModerationEntry> ReadModerationRecord(const std::string& dir, size_t count) {
  const std::string base = dir + "/" + ModerationRecord::kFileName;
  std::deque<ModerationEntry> newest;  // oldest first
  for (int n = 0; n < ModerationRecord::kKeptFiles; ++n) {
    std::string bytes;
    if (!ReadWholeFile(RotatedPath(base, n), bytes)) continue;
    std::vector<ModerationEntry> file;
    size_t start = 0;
    while (start < bytes.size()) {
      size_t end = bytes.find('\n', start);
      if (end == std::string::npos) end = bytes.size();
      if (auto e = ParseModerationLine(bytes.substr(start, end - start))) file.push_back(std::move(*e));
      start = end + 1;
    }
    newest.insert(newest.begin(), file.begin(), file.end());
    if (count != 0 && newest.size() >= count) break;
  }
  if (count != 0 && newest.size() > count) newest.erase(newest.begin(), newest.end() - static_cast<long>(count));
  return {newest.begin(), newest.end()};
}

ModerationRecord::ModerationRecord(std::string dir) : dir_(std::move(dir)) {}

ModerationRecord::~ModerationRecord() { ExpireAwaiting(true); }

std::chrono::system_clock::time_point ModerationRecord::Now() const {
  return clock_ ? clock_() : std::chrono::system_clock::now();
}

std::string ModerationRecord::Path() const { return dir_ + "/" + kFileName; }

bool ModerationRecord::Write(std::string actor, std::string action, std::string target, std::string reason,
                             const char* result) {
  return Append(ModerationEntry{Now(), std::move(actor), std::move(action), std::move(target), std::move(reason),
                                result});
}

void ModerationRecord::Await(std::string actor, std::string action, std::string target, std::string reason) {
  if (awaiting_.size() >= kMaxAwaiting) {
    awaiting_.front().result = "unanswered";
    Append(awaiting_.front());
    awaiting_.pop_front();
  }
  awaiting_.push_back(ModerationEntry{Now(), std::move(actor), std::move(action), std::move(target),
                                      std::move(reason), ""});
}

bool ModerationRecord::Answer(const std::string& action, const std::string& target, bool confirmed) {
  for (auto it = awaiting_.begin(); it != awaiting_.end(); ++it) {
    if (!SameAction(it->action, action) || !SameName(it->target, target)) continue;
    it->result = confirmed ? "confirmed" : "refused";
    Append(*it);
    awaiting_.erase(it);
    return true;
  }
  return false;
}

void ModerationRecord::ExpireAwaiting(bool all) {
  const auto now = Now();
  while (!awaiting_.empty() && (all || awaiting_.front().time + kAnswerTime <= now)) {
    awaiting_.front().result = "unanswered";
    Append(awaiting_.front());
    awaiting_.pop_front();
  }
}

std::optional<std::chrono::system_clock::time_point> ModerationRecord::NextDue() const {
  if (awaiting_.empty()) return std::nullopt;
  return awaiting_.front().time + kAnswerTime;
}

void ModerationRecord::Rotate() {
  const std::string base = Path();
  std::remove(RotatedPath(base, kKeptFiles - 1).c_str());
  for (int n = kKeptFiles - 2; n >= 0; --n) std::rename(RotatedPath(base, n).c_str(), RotatedPath(base, n + 1).c_str());
}

bool ModerationRecord::Append(const ModerationEntry& entry) {
  const std::string line = FormatModerationLine(entry);
  struct stat st {};
  if (::stat(Path().c_str(), &st) == 0 && static_cast<size_t>(st.st_size) + line.size() > kRotateBytes) Rotate();
  // O_APPEND: each line lands whole at the end, never over what is there.
  const int fd = ::open(Path().c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  bool ok = fd >= 0;
  if (ok) {
    ok = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    ::close(fd);
  }
  failed_ = !ok;
  return ok;
}

}  // namespace tolvik
