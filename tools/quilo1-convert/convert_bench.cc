// Conversion time of a long receipt (2,000 lines), median of the runs.
#include <string>
#include <vector>

#include "benchmark/benchmark.h"
#include "convert/converter.h"

namespace {

void BM_ConvertLongReceipt(benchmark::State& state) {
  std::vector<std::string> doc;
  const char* body[] = {
      "SALE,N3,P250;",      "PLUD,N2,Q2.5,P1234,:PANE INTEGRALE;", "DISC,%10;",
      "PRNT,:GRAZIE E ARRIVEDERCI;", "COUP,V50,:SCONTO FEDELTA;", "SALE,N7,Q3,P199,R;",
  };
  for (int i = 0; i < 1996; ++i) doc.push_back(body[i % 6]);
  for (const char* tail : {"SUBT;", "DOST,%5;", "CARD,V1000;", "CASH;"}) doc.push_back(tail);
  convert::ConvertContext ctx;
  ctx.dataDir = "DATA";
  for (auto _ : state) benchmark::DoNotOptimize(convert::ConvertDocument(doc, ctx));
}
BENCHMARK(BM_ConvertLongReceipt)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
