// Daily chat logs: one file per local date under logs/, old ones deleted,
// switched by [Logging] in Bot.ini, fed by every line the display shows.
#include "app/daily_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>

#include "display/chat_display.h"
#include "app/document.h"
#include "support/crlf.h"
#include "support/recording_display.h"
#include "support/file_mode.h"
#include "support/temp_dir.h"
#include "support/test_host.h"

namespace tolvik {
namespace {

using namespace std::chrono;
using testing::Crlf;
using testing::RecordingDisplay;
using testing::ModeOf;
using testing::TempDir;
using testing::TestHost;

// The log's dates are local dates: these tests fix the zone.
class DailyLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* tz = std::getenv("TZ")) saved_tz_ = tz;
    ::setenv("TZ", "UTC", 1);
    ::tzset();
  }
  void TearDown() override {
    if (saved_tz_)
      ::setenv("TZ", saved_tz_->c_str(), 1);
    else
      ::unsetenv("TZ");
    ::tzset();
  }

  static system_clock::time_point At(year_month_day date, int h, int m, int s) {
    return sys_days{date} + hours{h} + minutes{m} + seconds{s};
  }
  static std::string Log(year_month_day date) { return std::string(kDailyLogDir) + "/" + DailyLog::FileName(date); }

  TempDir dir_;
  system_clock::time_point now_ = At(2026y / March / 10, 23, 59, 58);
  DailyLog log_{dir_.path().string(), [this] { return now_; }};

 private:
  std::optional<std::string> saved_tz_;
};

TEST_F(DailyLogTest, LinesGoToTheFileOfTheirDayWithTheTimeBeforeThem) {
  log_.Write("before it is switched on");
  EXPECT_FALSE(dir_.exists(kDailyLogDir));

  log_.Configure({true, 30});
  log_.Write("<alice> late");
  now_ = At(2026y / March / 11, 0, 0, 1);
  log_.Write("<bob> early");
  log_.Write("<bob> again");

  EXPECT_EQ(dir_.read(Log(2026y / March / 10)), "[23:59:58] <alice> late\n");
  EXPECT_EQ(dir_.read(Log(2026y / March / 11)), "[00:00:01] <bob> early\n[00:00:01] <bob> again\n");
  // The chat may be private: the folder and files are the owner's alone.
  EXPECT_EQ(ModeOf(dir_.file(kDailyLogDir)), 0700u);
  EXPECT_EQ(ModeOf(dir_.file(Log(2026y / March / 11))), 0600u);
  EXPECT_TRUE(log_.TakeProblem().empty());

  // Off again: nothing more is written.
  log_.Configure({false, 30});
  log_.Write("<bob> unlogged");
  EXPECT_EQ(dir_.read(Log(2026y / March / 11)).find("unlogged"), std::string::npos);
}

// A line with a terminal escape in it is written inert, as the terminal shows it.
TEST_F(DailyLogTest, ControlCharactersAreWrittenAsQuestionMarks) {
  log_.Configure({true, 30});
  log_.Write("<eve> \x1b]0;owned\x07 hi");
  EXPECT_EQ(dir_.read(Log(2026y / March / 10)), "[23:59:58] <eve> ?]0;owned? hi\n");
}

TEST_F(DailyLogTest, ALogIsKeptForKeepDaysAndDeletedTheDayAfter) {
  ::mkdir(dir_.file(kDailyLogDir).c_str(), 0700);
  const year_month_day today = 2026y / March / 31;
  const auto daysBefore = [&](int n) { return year_month_day{sys_days{today} - days{n}}; };
  dir_.write(Log(daysBefore(30)), "thirty\n");
  dir_.write(Log(daysBefore(31)), "thirty-one\n");
  dir_.write(Log(daysBefore(400)), "old\n");
  // Files of other names are the user's own.
  dir_.write(std::string(kDailyLogDir) + "/notes.txt", "mine\n");
  dir_.write(std::string(kDailyLogDir) + "/2020-13-01.log", "mine\n");

  now_ = At(today, 12, 0, 0);
  log_.Configure({true, 30});
  log_.Write("today");
  EXPECT_TRUE(dir_.exists(Log(daysBefore(30))));
  EXPECT_FALSE(dir_.exists(Log(daysBefore(31))));
  EXPECT_FALSE(dir_.exists(Log(daysBefore(400))));
  EXPECT_TRUE(dir_.exists(std::string(kDailyLogDir) + "/notes.txt"));
  EXPECT_TRUE(dir_.exists(std::string(kDailyLogDir) + "/2020-13-01.log"));

  // Just after midnight the thirty-day-old one goes too.
  now_ = At(year_month_day{sys_days{today} + days{1}}, 0, 0, 5);
  log_.Write("tomorrow");
  EXPECT_FALSE(dir_.exists(Log(daysBefore(30))));
  EXPECT_TRUE(dir_.exists(Log(today)));
}

TEST(DailyLogSettings, ANewProfileLogsAnOlderBotIniDoesNotUntilSwitchedOn) {
  // A new profile: the starter Bot.ini switches the logs on, and every line shown goes there.
  {
    TempDir dir;
    RecordingDisplay display;
    TestHost host;
    CHaldenDoc doc(dir.path().string(), display, host);
    EXPECT_TRUE(doc.DailyLogsOn());
    EXPECT_EQ(LoadLoggingSettings(dir.file("Bot.ini")).keepDays, 30);
    doc.Display().print(TextType::OthersText, "<%s> %s", "alice", "hello there");
    std::string all;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path() / kDailyLogDir))
      all += dir.read(std::string(kDailyLogDir) + "/" + entry.path().filename().string());
    EXPECT_NE(all.find("] <alice> hello there\n"), std::string::npos) << all;
  }
  // A Bot.ini of before: no logs, until the operator switches them on; the
  // choice is stored, and a planted link is refused and reported.
  TempDir dir;
  dir.write("Bot.ini", Crlf("[Init]\nLogin=acct\n[Logging]\nKeepDays=5000\n"));
  RecordingDisplay display;
  TestHost host;
  CHaldenDoc doc(dir.path().string(), display, host);
  EXPECT_FALSE(doc.DailyLogsOn());
  doc.Display().print(TextType::OthersText, "<alice> unlogged");
  EXPECT_FALSE(dir.exists(kDailyLogDir));
  EXPECT_EQ(LoadLoggingSettings(dir.file("Bot.ini")).keepDays, kMaxKeepDays);

  dir.write("victim", "untouched");
  ::mkdir(dir.file(kDailyLogDir).c_str(), 0700);
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  ::localtime_r(&t, &tm);
  const year_month_day today{year{tm.tm_year + 1900}, month(static_cast<unsigned>(tm.tm_mon + 1)),
                             day(static_cast<unsigned>(tm.tm_mday))};
  // Today's and, should midnight pass meanwhile, tomorrow's.
  for (const year_month_day date : {today, year_month_day{sys_days{today} + days{1}}})
    ASSERT_EQ(::symlink(dir.file("victim").c_str(), dir.file(std::string(kDailyLogDir) + "/" + DailyLog::FileName(date)).c_str()), 0);
  EXPECT_TRUE(doc.SetDailyLogs(true));
  EXPECT_TRUE(LoadLoggingSettings(dir.file("Bot.ini")).dailyLogs);
  doc.Display().print(TextType::OthersText, "<alice> secret");
  EXPECT_EQ(dir.read("victim"), "untouched");
  EXPECT_TRUE(display.contains("Daily log: cannot write")) << ::testing::PrintToString(display.texts());
}

}  // namespace
}  // namespace tolvik
