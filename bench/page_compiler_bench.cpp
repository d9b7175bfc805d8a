// The page compiler's hot path: lines per second through compile_page for a block-heavy command
// file, written to an in-memory page.
#include <benchmark/benchmark.h>

#include <sstream>
#include <string>

#include "external_reads.h"
#include "page_context.h"
#include "utils.h"

namespace {

// A command file like a real page, repeated: headings, text panels, listings, links, pictures.
std::string block_heavy_page(int repeats, int& lines) {
  std::string page;
  lines = 0;
  const auto add = [&](const std::string& line) {
    page += line;
    page += '\n';
    ++lines;
  };
  for (int r = 0; r < repeats; ++r) {
    add("@title");
    add("@@text Section " + std::to_string(r) + " & <more>");
    add("@end_title");
    add("@text");
    add("@@width 80%");
    for (int i = 0; i < 20; ++i) {
      add("Some words of a text panel, line " + std::to_string(i) + ", with <tags> & more.");
    }
    add("@end_text");
    add("@code");
    for (int i = 0; i < 30; ++i) {
      add("    if (count_" + std::to_string(i) + " < limit && ready) { total += 42; }");
    }
    add("@end_code");
    add("@link");
    add("@@url next.htm?a=1&b=2");
    add("@@text Next page");
    add("@end_link");
    add("@image");
    add("@@src pictures/figure.png");
    add("@@width 320");
    add("@end_image");
  }
  return page;
}

void CompilePage(benchmark::State& state) {
  int lines = 0;
  const std::string command_file = block_heavy_page(static_cast<int>(state.range(0)), lines);
  std::ostringstream page;
  page_context context;
  for (auto _ : state) {
    std::istringstream source(command_file);
    page.str({});
    compile_page(source, page, context, "../", page_icon{}, external_reads{});
    benchmark::DoNotOptimize(page.tellp());
  }
  state.counters["lines/s"] = benchmark::Counter(static_cast<double>(lines) * state.iterations(),
                                                 benchmark::Counter::kIsRate);
  state.SetBytesProcessed(static_cast<std::int64_t>(command_file.size()) * state.iterations());
}
BENCHMARK(CompilePage)->Arg(1)->Arg(100);

}  // namespace

BENCHMARK_MAIN();
