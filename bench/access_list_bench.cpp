// GetUserLevel on a users.lst of 10,000 names: the name looked up is the last
// one in the file, or missing. The list is held in memory until the file
// changes, so the usual question costs a stat(2) and a table look-up; the
// Changed case measures the reread and parse after every change.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>

#include "display/chat_display.h"
#include "bot/access_list.h"
#include "bot/bot_context.h"
#include "bot/pending_actions.h"
#include "net/chat_connection.h"
#include "net/outgoing_queue.h"

namespace {

class NullDisplay : public tolvik::ChatDisplay {
 public:
  void append(const char*, const tolvik::TextFormat&) override {}
};

class BenchContext : public tolvik::BotContext {
 public:
  explicit BenchContext(std::string dir) : dir_(std::move(dir)), queue_(connection_, &display_) {
    connection_.SetLoginInfo("TolvikBot", "", "", tolvik::ChatConnection::kDefaultPort);
  }
  tolvik::OutgoingQueue& Queue() override { return queue_; }
  tolvik::ChatDisplay& Display() override { return display_; }
  const char* OwnName() const override { return connection_.OwnName(); }
  const char* CurrentChannel() const override { return "Tolvik"; }
  const char* HomeChannel() const override { return "Tolvik"; }
  int CommandLevel(const char*) const override { return -1; }
  void UserLevelChanged(const char*, int) override {}
  const std::string& WorkingDir() const override { return dir_; }

 private:
  std::string dir_;
  NullDisplay display_;
  tolvik::ChatConnection connection_;
  tolvik::OutgoingQueue queue_;
};

// A directory holding a users.lst of 10,000 names in the program's own
// format: nine sections of names like "Player1234", the last one "last".
// The file was last changed an hour ago.
class Fixture {
 public:
  static constexpr int kNames = 10000;
  Fixture() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "tolvik-bench-XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr) std::abort();
    dir_ = tmpl;
    std::string text;
    int n = 0;
    for (int level = 1; level <= 9; ++level) {
      if (level > 1) text += "\r\n";
      text += "[Level" + std::to_string(level) + "]\r\n";
      for (; n < (kNames - 1) * level / 9; ++n) text += "Player" + std::to_string(1000 + n) + "\r\n";
    }
    text += "last\r\n";
    std::FILE* f = std::fopen(path().c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    Age(0);
  }
  ~Fixture() { std::filesystem::remove_all(dir_); }
  const std::string& dir() const { return dir_; }
  std::string path() const { return dir_ + "/users.lst"; }
  // Sets the file's modification time to an hour ago, plus `ns` nanoseconds.
  void Age(long ns) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    timespec times[2] = {{now.tv_sec - 3600, ns}, {now.tv_sec - 3600, ns}};
    if (utimensat(AT_FDCWD, path().c_str(), times, 0) != 0) std::abort();
  }

 private:
  std::string dir_;
};

void BM_GetUserLevel(benchmark::State& state, const char* name, int expected) {
  Fixture fixture;
  BenchContext bot(fixture.dir());
  tolvik::PendingActionQueue pending;
  tolvik::AccessList access(bot, pending);
  if (access.GetUserLevel(name) != expected) {
    state.SkipWithError("unexpected level");
    return;
  }
  // The file's change time cannot be set back: wait until the file is old
  // enough for the held list to be trusted.
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));
  for (auto _ : state) benchmark::DoNotOptimize(access.GetUserLevel(name));
}

BENCHMARK_CAPTURE(BM_GetUserLevel, LastName, "LAST", 9);
BENCHMARK_CAPTURE(BM_GetUserLevel, Missing, "nobody", 0);

// Every question comes after a change of the file: a full reread and parse.
void BM_GetUserLevelChanged(benchmark::State& state) {
  Fixture fixture;
  BenchContext bot(fixture.dir());
  tolvik::PendingActionQueue pending;
  tolvik::AccessList access(bot, pending);
  long ns = 0;
  for (auto _ : state) {
    state.PauseTiming();
    fixture.Age(++ns % 1000000000);
    state.ResumeTiming();
    if (access.GetUserLevel("last") != 9) state.SkipWithError("unexpected level");
  }
}
BENCHMARK(BM_GetUserLevelChanged)->Unit(benchmark::kMicrosecond);

}  // namespace
