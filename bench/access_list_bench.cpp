// GetUserLevel on a users.lst of 12000 bytes (the most it ever reads): the
// name looked up is the last one in the file, or missing, so every call reads
// and scans the whole file.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "app/chat_display.h"
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

// A directory holding a users.lst of exactly 12000 bytes in the program's own
// format: nine sections of names like "Player1234", "last" at the very end.
class Fixture {
 public:
  Fixture() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "tolvik-bench-XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr) std::abort();
    dir_ = tmpl;
    std::string text;
    int n = 0;
    for (int level = 1; level <= 9; ++level) {
      if (level > 1) text += "\r\n";
      text += "[Level" + std::to_string(level) + "]\r\n";
      for (int i = 0; i < 60; ++i) text += "Player" + std::to_string(1000 + n++) + "\r\n";
    }
    while (text.size() + 3 <= 12000 - 6) text += "x\r\n";
    text.append(12000 - 6 - text.size(), ' ');
    text += "last\r\n";
    if (text.size() != 12000) std::abort();
    std::FILE* f = std::fopen((dir_ + "/users.lst").c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
  ~Fixture() { std::filesystem::remove_all(dir_); }
  const std::string& dir() const { return dir_; }

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
  for (auto _ : state) benchmark::DoNotOptimize(access.GetUserLevel(name));
}

BENCHMARK_CAPTURE(BM_GetUserLevel, LastName, "LAST", 9);
BENCHMARK_CAPTURE(BM_GetUserLevel, Missing, "nobody", 0);
BENCHMARK_CAPTURE(BM_GetUserLevel, FirstSection, "player1010", 1);

}  // namespace
