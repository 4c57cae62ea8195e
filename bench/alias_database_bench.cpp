// Alias database at 100,000 records: look-ups, adds, show aliases, reindex, open.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "aliases/alias_database.h"

namespace tolvik {
namespace {

constexpr int kRecords = 100000;

struct NullDisplay : ChatDisplay {
  void append(const char*, const TextFormat&) override {}
};

struct CountingHost : AliasHost {
  std::size_t bytes = 0;
  void reply(const char*, const char* line) override { bytes += std::char_traits<char>::length(line); }
};

// A working directory holding Aliases.db with kRecords records (80,000 names,
// some seen under several of 50,000 ids) and its index; removed afterwards.
class Fixture {
 public:
  Fixture() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "tolvik-bench-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    dir_ = tmpl;
    std::mt19937 rng(12345);
    std::string bytes;
    for (int i = 0; i < kRecords; ++i) {
      const int nameNo = i < 80000 ? i : static_cast<int>(rng() % 80000);
      names.push_back("Player" + std::to_string(nameNo));
      ids.push_back(rng() % 50000);
      appendAliasRecord(bytes, ids.back(), names.back());
    }
    std::FILE* f = std::fopen((dir_ / "Aliases.db").c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    open();
    db->reindex();
  }
  ~Fixture() {
    db.reset();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  void open() {
    db.reset();
    db = std::make_unique<AliasDatabase>(dir_.string(), display, host);
  }

  NullDisplay display;
  CountingHost host;
  std::vector<std::string> names;
  std::vector<uint32_t> ids;
  std::unique_ptr<AliasDatabase> db;

 private:
  std::filesystem::path dir_;
};

void BM_FindByName(benchmark::State& state) {
  Fixture f;
  std::mt19937 rng(1);
  for (auto _ : state) benchmark::DoNotOptimize(f.db->findByName(f.names[rng() % kRecords]));
}
BENCHMARK(BM_FindByName);

void BM_FindById(benchmark::State& state) {
  Fixture f;
  std::vector<std::string> texts;
  for (int i = 0; i < 1024; ++i) texts.push_back("#" + std::to_string(f.ids[i * 97]));
  std::size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(f.db->findById(texts[i++ % texts.size()]));
}
BENCHMARK(BM_FindById);

// Every add appends a record and writes the whole index (800 KB here).
void BM_Add(benchmark::State& state) {
  Fixture f;
  std::mt19937 rng(2);
  int n = 0;
  std::string name;
  std::string id;
  for (auto _ : state) {
    state.PauseTiming();
    name = "New" + std::to_string(rng() % 1000000) + "x" + std::to_string(n++);
    id = std::to_string(rng() % 60000);
    state.ResumeTiming();
    if (f.db->add(name, id) != AliasAddResult::Added) state.SkipWithError("not added");
  }
}
BENCHMARK(BM_Add);

void BM_ShowAliases(benchmark::State& state) {
  Fixture f;
  std::mt19937 rng(3);
  for (auto _ : state) f.db->showAliases(f.names[rng() % kRecords], "Someone");
  benchmark::DoNotOptimize(f.host.bytes);
}
BENCHMARK(BM_ShowAliases);

void BM_Reindex(benchmark::State& state) {
  Fixture f;
  for (auto _ : state) f.db->reindex();
  state.counters["records"] = f.db->count();
}
BENCHMARK(BM_Reindex)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_Open(benchmark::State& state) {
  Fixture f;
  for (auto _ : state) f.open();
}
BENCHMARK(BM_Open)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace
}  // namespace tolvik
