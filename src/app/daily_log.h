#pragma once
// Daily chat logs: every line the chat display shows, with the time before
// it, appended to logs/YYYY-MM-DD.log in the working directory (the local
// date). Logs more than KeepDays days old are deleted when a day's file is
// opened. Set in Bot.ini:
//   [Logging]
//   DailyLogs=1    1: write the logs, 0 (the default): do not
//   KeepDays=30    how many days a log is kept (1 to 3650)
// A new profile's Bot.ini has them on; an older file without the section
// has them off.
#include <chrono>
#include <functional>
#include <string>
#include <string_view>

#include "display/line_log.h"

namespace tolvik {

struct LoggingSettings {
  bool dailyLogs = false;
  int keepDays = 30;
};

inline constexpr int kDefaultKeepDays = 30;
inline constexpr int kMaxKeepDays = 3650;
inline constexpr char kDailyLogDir[] = "logs";

LoggingSettings LoadLoggingSettings(const std::string& botIni);
// Writes [Logging] DailyLogs as "1" or "0"; false when Bot.ini cannot be written.
bool SaveDailyLogs(const std::string& botIni, bool on);

class DailyLog : public LineLog {
 public:
  using Clock = std::function<std::chrono::system_clock::time_point()>;

  // `workingDirectory`: the logs go to its "logs" folder (made 0700 on first use).
  explicit DailyLog(std::string workingDirectory, Clock clock = &std::chrono::system_clock::now);
  ~DailyLog() override;
  DailyLog(const DailyLog&) = delete;
  DailyLog& operator=(const DailyLog&) = delete;

  void Configure(const LoggingSettings& settings);
  bool Enabled() const { return settings_.dailyLogs; }
  int KeepDays() const { return settings_.keepDays; }

  // Appends "[HH:MM:SS] line" and a line end to today's file; nothing when off.
  void Write(std::string_view line) override;

  // What went wrong since the last call (the log could not be opened or
  // written), for the chat display; empty when nothing did. Each day's file
  // is reported once.
  std::string TakeProblem() override;

  // The log file's name for a local date, "YYYY-MM-DD.log".
  static std::string FileName(std::chrono::year_month_day date);

 private:
  void OpenFor(std::chrono::year_month_day date);
  void Expire(std::chrono::year_month_day today);
  void CloseFile();

  std::string dir_;
  Clock clock_;
  LoggingSettings settings_;
  int fd_ = -1;
  std::chrono::year_month_day open_date_{};
  bool failed_today_ = false;
  std::string problem_;
};

}  // namespace tolvik
