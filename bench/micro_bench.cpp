// Micro-benchmarks: the header reader and writer, and LogPrintf with a view
// attached (the cost the dialog and the command line pay per message).
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "archive/archive.h"
#include "archive/header_list.h"
#include "log/log.h"
#include "bench/memory_stream.h"

namespace {

using test::MemoryStream;

std::string HeaderList(std::int64_t count) {
  MemoryStream out;
  ArchiveEntry entry;
  for (std::int64_t i = 0; i < count; ++i) {
    entry.name = StringPrintf("a%d\\b%d\\file%lld.dat", static_cast<int>(i % 5), static_cast<int>(i % 7),
                              static_cast<long long>(i));
    entry.dataSize = 1000 + static_cast<std::uint32_t>(i);
    entry.WriteEntryHeader(out);
  }
  ArchiveEntry().WriteEntryHeader(out);
  return out.bytes();
}

void ReadHeaders(benchmark::State& state) {
  const std::string bytes = HeaderList(state.range(0));
  for (auto _ : state) {
    MemoryStream in(bytes);
    std::vector<std::unique_ptr<ArchiveEntry>> entries;
    benchmark::DoNotOptimize(ReadHeaderList(in, entries));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(ReadHeaders)->RangeMultiplier(4)->Range(1 << 10, 1 << 18)->Complexity(benchmark::oN);

void WriteHeaders(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(HeaderList(state.range(0)));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(WriteHeaders)->Arg(20000);

class CountingView final : public LogView {
 public:
  void AppendText(std::string_view text) override { bytes += text.size(); }
  int GetLineCount() override { return 0; }
  void LineScroll(int) override {}
  void UpdateWindow() override {}
  std::size_t bytes = 0;
};

void LogMessage(benchmark::State& state) {
  CountingView view;
  LogView* previous = g_pMainDialog;
  g_pMainDialog = &view;
  for (auto _ : state) LogPrintf("Compressing %s (%u bytes)\n", "a3\\b2\\c1\\d0\\file42.dat", 12345u);
  g_pMainDialog = previous;
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(LogMessage);

}  // namespace

BENCHMARK_MAIN();
