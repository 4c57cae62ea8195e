// ProfileFile reads against a 64 KB Bot.ini. Goal: one key read near the end
// of the file well under 100 microseconds.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "storage/profile_file.h"

namespace {

// A Bot.ini of about 64 KB: response sections full of patterns, then the
// section read by the benchmark at the very end.
class BotIni {
 public:
  BotIni() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "tolvik-bench-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) std::abort();
    dir_ = tmpl;
    path_ = (dir_ / "Bot.ini").string();
    std::string text = "[Init]\r\nLogin=Moderator\r\nServer=server.example\r\n\r\n";
    for (int s = 0; text.size() < 64 * 1024 - 200; ++s) {
      text += "[AutoRespond" + std::to_string(s) + "]\r\n";
      for (int k = 0; k < 40 && text.size() < 64 * 1024 - 200; ++k)
        text += "*pattern[[" + std::to_string(k) + "]]*=Some answer text number " + std::to_string(k) + "\r\n";
      text += "\r\n";
    }
    text += "[AutoSend]\r\nAntiIdleMsg=/me is still here\r\nJoin=/time\r\nLeave=bye\r\n";
    std::ofstream(path_, std::ios::binary) << text;
    size_ = text.size();
  }
  ~BotIni() { std::filesystem::remove_all(dir_); }
  const std::string& path() const { return path_; }
  size_t size() const { return size_; }

 private:
  std::filesystem::path dir_;
  std::string path_;
  size_t size_ = 0;
};

void BM_ReadKeyNearEnd(benchmark::State& state) {
  BotIni ini;
  std::string out;
  for (auto _ : state) {
    bool found = tolvik::ProfileFile::Read("AutoSend", "Leave", "\n", out, 255, ini.path());
    benchmark::DoNotOptimize(found);
    benchmark::DoNotOptimize(out.data());
  }
  if (out != "bye") state.SkipWithError("key not found");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * ini.size()));
}
BENCHMARK(BM_ReadKeyNearEnd)->Unit(benchmark::kMicrosecond);

void BM_ListKeysNearEnd(benchmark::State& state) {
  BotIni ini;
  for (auto _ : state) {
    auto names = tolvik::ProfileFile::KeyNames("AutoSend", ini.path());
    benchmark::DoNotOptimize(names.data());
  }
}
BENCHMARK(BM_ListKeysNearEnd)->Unit(benchmark::kMicrosecond);

}  // namespace
