#include "bot/access_list_cache.h"

#include <ctime>

#include "storage/atomic_file.h"
#include "display/chat_display.h"
#include "bot/users_file.h"

namespace tolvik {
namespace {

// A file whose last change lies less than this many seconds back is not
// trusted to show its next change in its times.
constexpr time_t kRecentSeconds = 2;

bool SameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

// `text` with ASCII letters in lower case, into `out` (kListWordMax + 1 bytes).
std::string_view Lower(std::string_view text, char* out) {
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    out[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return std::string_view(out, text.size());
}

}  // namespace

bool ListFileCache::SameStamp(const Stamp& a, const Stamp& b) {
  return a.dev == b.dev && a.ino == b.ino && a.size == b.size && SameTime(a.mtime, b.mtime) &&
         SameTime(a.ctime, b.ctime);
}

int ListFileCache::Find(const std::string& dir, const char* file, std::string_view name, ChatDisplay* report) {
  if (dir != dir_ || path_.empty()) {
    dir_ = dir;
    path_ = JoinPath(dir, file);
    loaded_ = false;
  }
  if (!Refresh(report)) return -1;
  if (name.empty() || name.size() > kListWordMax) return -1;
  char lower[kListWordMax + 1];
  auto it = names_.find(Lower(name, lower));
  return it == names_.end() ? -1 : it->second;
}

bool ListFileCache::Refresh(ChatDisplay* report) {
  struct stat st;
  if (::stat(path_.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    loaded_ = false;
    names_.clear();
    return false;
  }
  Stamp now{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
  if (loaded_ && !recent_ && SameStamp(now, stamp_)) return true;

  // The stamp is taken before the read: a change after it shows at the next question.
  std::string bytes;
  ForgetReadFiles();  // the stamp says it changed: nothing kept of it will do
  if (!ReadWholeFile(path_, bytes)) {
    loaded_ = false;
    names_.clear();
    return false;
  }
  // A reread of an unchanged stamp warns no more than the first read did.
  const bool changed = !loaded_ || !SameStamp(now, stamp_);
  Parse(bytes, changed ? report : nullptr);
  stamp_ = now;
  loaded_ = true;
  timespec clock{};
  ::clock_gettime(CLOCK_REALTIME, &clock);
  const time_t last_change = st.st_mtim.tv_sec > st.st_ctim.tv_sec ? st.st_mtim.tv_sec : st.st_ctim.tv_sec;
  recent_ = clock.tv_sec - last_change < kRecentSeconds;
  return true;
}

void ListFileCache::Parse(std::string_view bytes, ChatDisplay* report) {
  names_.clear();
  int current = 0;
  bool long_word = false;
  char lower[kListWordMax + 1];
  ForEachListWord(bytes, [&](std::string_view word) {
    if (word.size() >= kListWordMax) long_word = true;
    if (by_level_ && IsLevelHeader(word)) {
      current = HeaderLevel(word);
    } else if (word.size() <= kListWordMax) {
      names_.try_emplace(std::string(Lower(word, lower)), current);  // the first occurrence decides
    }
  });
  if (long_word && report != nullptr)
    report->print(TextType::BotInfo, "Error - Possible Word Trunctation due to buffer overflow");
}

}  // namespace tolvik
