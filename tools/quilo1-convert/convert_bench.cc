// Conversion time of a long receipt (2,000 lines), median of the runs.
#include <string>

#include "benchmark/benchmark.h"
#include "convert/converter.h"
#include "testing/temp_dir.h"

namespace {

void BM_ConvertLongReceipt(benchmark::State& state) {
  testing_support::ScopedTempDir dir;
  std::string doc;
  const char* body[] = {
      "SALE,N3,P250;",      "PLUD,N2,Q2.5,P1234,:PANE INTEGRALE;", "DISC,%10;",
      "PRNT,:GRAZIE E ARRIVEDERCI;", "COUP,V50,:SCONTO FEDELTA;", "SALE,N7,Q3,P199,R;",
  };
  for (int i = 0; i < 1996; ++i) doc += std::string(body[i % 6]) + "\r\n";
  doc += "SUBT;\r\nDOST,%5;\r\nCARD,V1000;\r\nCASH;\r\n";
  const std::string path = dir.File("SR_DATI.001");
  testing_support::WriteFileBytes(path, doc);
  convert::ConvertContext ctx;
  ctx.dataDir = dir.path();
  for (auto _ : state) {
    std::string p = path;
    benchmark::DoNotOptimize(convert::ConvertDocument(p, ctx));
  }
}
BENCHMARK(BM_ConvertLongReceipt)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
