// The chat pane at its line cap: 20,000 mixed lines (one in five with a URL
// word) appended to a pane that already holds 5000, with the view following
// and painting between bursts as the event loop would. Reports lines per second,
// for lines appended one by one and for bursts appended as one batch (as the
// window does with the lines of one socket wake-up).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ui/chat_pane.h"

namespace {

constexpr int kLines = 20000;
constexpr int kBurst = 50;  // lines handled between two turns of the event loop

std::vector<std::string> MixedLines(int count) {
  std::vector<std::string> lines;
  lines.reserve(count);
  char buf[256];
  for (int i = 0; i < count; ++i) {
    if (i % 5 == 0) {
      std::snprintf(buf, sizeof buf, "<user%d> have a look at http://www.example.com/page/%d it is good", i % 40, i);
    } else {
      std::snprintf(buf, sizeof buf, "<user%d> line %d of ordinary channel talk, nothing to click in here", i % 40, i);
    }
    lines.emplace_back(buf);
  }
  return lines;
}

// state.range(0): 1 when each burst is appended as one batch.
void BM_ChatPaneAppendAtCap(benchmark::State& state) {
  const bool batched = state.range(0) != 0;
  tolvik::ui::ChatPane pane;
  pane.resize(800, 600);
  pane.show();
  const auto fill = MixedLines(tolvik::ui::ChatPane::kMaxLines);
  for (const auto& line : fill) pane.print(tolvik::TextType::OthersText, "%s", line.c_str());
  QApplication::processEvents();
  const auto lines = MixedLines(kLines);

  for (auto _ : state) {
    for (int i = 0; i < kLines; ++i) {
      if (batched && i % kBurst == 0) pane.beginBatch();
      pane.print(tolvik::TextType::OthersText, "%s", lines[i].c_str());
      if (i % kBurst == kBurst - 1) {
        if (batched) pane.endBatch();
        QApplication::processEvents();
      }
    }
    QApplication::processEvents();
  }
  if (pane.document()->blockCount() != tolvik::ui::ChatPane::kMaxLines) state.SkipWithError("cap not kept");
  state.SetItemsProcessed(state.iterations() * kLines);
  state.counters["lines_per_second"] =
      benchmark::Counter(static_cast<double>(state.iterations() * kLines), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ChatPaneAppendAtCap)->ArgName("batched")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
