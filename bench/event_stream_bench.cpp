// Line reader + parser + dispatch over a 1 MB stream of realistic event lines,
// with handlers that do nothing. Reports lines per second and heap
// allocations per line (counted by replacing the global operator new).
#include <benchmark/benchmark.h>

#include <string>

#include "allocation_counter.h"
#include "net/chat_connection.h"

namespace {

class NullConnection : public tolvik::ChatConnection {};

std::string MakeStream(size_t bytes, long* line_count) {
  const char* lines[] = {
      "1001 USER Someone#2 0010 [STAR]\r\n",
      "1002 JOIN NewComer 0000 [SEXP]\r\n",
      "1003 LEAVE OldTimer 0000\r\n",
      "1005 TALK Chatter 0000 \"hello everyone, how is the ladder today?\"\r\n",
      "1004 WHISPER Admin 0000 \"!say hi there\"\r\n",
      "1018 INFO \"You are channel operator\"\r\n",
      "1009 USER Someone#2 0012 [STAR]\r\n",
      "1023 EMOTE Dancer 0000 \"dances wildly\"\r\n",
      "Welcome to the chat gateway!\r\n",
      "2000 NULL\r\n",
  };
  std::string s;
  long n = 0;
  while (s.size() < bytes) {
    s += lines[n % (sizeof lines / sizeof *lines)];
    ++n;
  }
  *line_count = n;
  return s;
}

void BM_ReadParseDispatch(benchmark::State& state) {
  long lines = 0;
  const std::string stream = MakeStream(1 << 20, &lines);
  NullConnection conn;
  long before = g_allocations.load();
  for (auto _ : state) {
    // Feed in socket-sized reads, so lines split across reads as they would.
    for (size_t off = 0; off < stream.size(); off += 1460)
      conn.ProcessBytes(stream.data() + off, std::min<size_t>(1460, stream.size() - off));
  }
  long allocs = g_allocations.load() - before;
  state.SetItemsProcessed(state.iterations() * lines);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(stream.size()));
  state.counters["allocs_per_line"] =
      benchmark::Counter(static_cast<double>(allocs) / static_cast<double>(state.iterations() * lines));
}
BENCHMARK(BM_ReadParseDispatch)->Unit(benchmark::kMillisecond);

}  // namespace
