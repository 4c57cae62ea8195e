#include "app/daily_log.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "display/control_text.h"
#include "settings/config.h"
#include "storage/private_profile.h"
#include "storage/profile_file.h"

namespace tolvik {
namespace {

constexpr std::string_view kSection = "Logging";

struct LocalTime {
  std::chrono::year_month_day date;
  char clock[16];  // "[HH:MM:SS] "
};

LocalTime ToLocal(std::chrono::system_clock::time_point when) {
  const std::time_t t = std::chrono::system_clock::to_time_t(when);
  std::tm tm{};
  ::localtime_r(&t, &tm);
  LocalTime local{std::chrono::year{tm.tm_year + 1900} / (tm.tm_mon + 1) / tm.tm_mday, {}};
  std::snprintf(local.clock, sizeof local.clock, "[%02d:%02d:%02d] ", tm.tm_hour, tm.tm_min, tm.tm_sec);
  return local;
}

// The date of a log's file name ("YYYY-MM-DD.log"); false for any other name.
bool DateOfName(std::string_view name, std::chrono::year_month_day& date) {
  if (name.size() != 14 || name.substr(10) != ".log" || name[4] != '-' || name[7] != '-') return false;
  for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
    if (name[i] < '0' || name[i] > '9') return false;
  auto number = [&](size_t from, size_t count) {
    int n = 0;
    for (size_t i = from; i < from + count; ++i) n = n * 10 + (name[i] - '0');
    return n;
  };
  date = std::chrono::year{number(0, 4)} / static_cast<unsigned>(number(5, 2)) / static_cast<unsigned>(number(8, 2));
  return date.ok();
}

}  // namespace

LoggingSettings LoadLoggingSettings(const std::string& botIni) {
  LoggingSettings s;
  s.dailyLogs = PrivateProfile::ReadInt(kSection, "DailyLogs", 0, botIni) != 0;
  s.keepDays = std::clamp(PrivateProfile::ReadInt(kSection, "KeepDays", kDefaultKeepDays, botIni), 1, kMaxKeepDays);
  return s;
}

bool SaveDailyLogs(const std::string& botIni, bool on) {
  return ProfileFile::Write(kSection, "DailyLogs", on ? "1" : "0", botIni);
}

DailyLog::DailyLog(std::string workingDirectory, Clock clock)
    : dir_(JoinPath(workingDirectory, kDailyLogDir)), clock_(std::move(clock)) {}

DailyLog::~DailyLog() { CloseFile(); }

void DailyLog::Configure(const LoggingSettings& settings) {
  const bool keep_changed = settings.keepDays != settings_.keepDays;
  settings_ = settings;
  if (!settings_.dailyLogs) {
    CloseFile();
    failed_today_ = false;
  } else if (keep_changed && fd_ >= 0) {
    Expire(open_date_);
  }
}

std::string DailyLog::FileName(std::chrono::year_month_day date) {
  char name[32];
  std::snprintf(name, sizeof name, "%04d-%02u-%02u.log", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
  return name;
}

void DailyLog::CloseFile() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void DailyLog::OpenFor(std::chrono::year_month_day date) {
  CloseFile();
  open_date_ = date;
  failed_today_ = false;
  if (::mkdir(dir_.c_str(), 0700) != 0 && errno != EEXIST) {
    failed_today_ = true;
    problem_ = "Daily log: cannot create " + dir_ + ": " + std::strerror(errno);
    return;
  }
  const std::string path = JoinPath(dir_, FileName(date));
  // Never through a link someone else planted: the chat may be private.
  fd_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd_ < 0) {
    failed_today_ = true;
    problem_ = "Daily log: cannot write " + path + ": " + std::strerror(errno);
    return;
  }
  Expire(date);
}

void DailyLog::Expire(std::chrono::year_month_day today) {
  DIR* dir = ::opendir(dir_.c_str());
  if (dir == nullptr) return;
  const std::chrono::sys_days now{today};
  while (dirent* entry = ::readdir(dir)) {
    std::chrono::year_month_day date;
    if (!DateOfName(entry->d_name, date)) continue;
    if ((now - std::chrono::sys_days{date}).count() > settings_.keepDays)
      ::unlinkat(::dirfd(dir), entry->d_name, 0);
  }
  ::closedir(dir);
}

void DailyLog::Write(std::string_view line) {
  if (!settings_.dailyLogs) return;
  const LocalTime now = ToLocal(clock_());
  if (fd_ < 0 || now.date != open_date_) {
    if (failed_today_ && now.date == open_date_) return;
    OpenFor(now.date);
    if (fd_ < 0) return;
  }
  std::string text(now.clock);
  // Someone reading the log with cat or less gets no escape sequences from it.
  text.append(WithControlsShown(line));
  text += '\n';
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      problem_ = "Daily log: cannot write " + JoinPath(dir_, FileName(open_date_)) + ": " +
                 std::strerror(n < 0 ? errno : ENOSPC);
      CloseFile();
      failed_today_ = true;
      return;
    }
    done += static_cast<size_t>(n);
  }
}

std::string DailyLog::TakeProblem() {
  std::string p;
  p.swap(problem_);
  return p;
}

}  // namespace tolvik
