// Speed and size of the Deflate codec on XML, reported as ratios against zlib (level 6 for
// compression, its inflate for decompression) measured in the same run.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "ooxml/zip/Deflate.h"
#include "ooxml/zip/Inflate.h"
#include "tests/ooxml/zip/CodecCorpus.h"

namespace {

using namespace kestrel;
using zip::test::Bytes;

struct Corpus {
  std::string name;
  Bytes data;
  Bytes ours;  // compressed by us
  Bytes zlib;  // compressed by zlib level 6
};

// 0: a 1 MiB synthetic Word body; 1: every XML part of the test documents, end to end.
const std::vector<Corpus>& Corpora() {
  static const std::vector<Corpus> corpora = [] {
    std::vector<Corpus> all;
    all.push_back({"synthetic 1 MiB", zip::test::SyntheticXml(1 << 20, 1), {}, {}});
    Bytes documents;
    for (const auto& entry : zip::test::DocxEntries(std::filesystem::path(KESTREL_SOURCE_DIR) / "tests" / "data")) {
      if (entry.name.ends_with(".xml") || entry.name.ends_with(".rels")) {
        documents.insert(documents.end(), entry.data.begin(), entry.data.end());
      }
    }
    all.push_back({"test documents' XML", documents, {}, {}});
    for (auto& c : all) {
      c.ours = zip::Deflate(c.data);
      c.zlib = zip::test::ZlibDeflate(c.data, 6, Z_DEFAULT_STRATEGY);
    }
    return all;
  }();
  return corpora;
}

const Corpus& Pick(const benchmark::State& state) { return Corpora()[static_cast<std::size_t>(state.range(0))]; }

void BM_OurDeflate(benchmark::State& state) {
  const Corpus& c = Pick(state);
  for (auto _ : state) benchmark::DoNotOptimize(zip::Deflate(c.data));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(c.data.size()));
}

void BM_ZlibDeflate6(benchmark::State& state) {
  const Corpus& c = Pick(state);
  for (auto _ : state) benchmark::DoNotOptimize(zip::test::ZlibDeflate(c.data, 6, Z_DEFAULT_STRATEGY));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(c.data.size()));
}

// Both decoders get zlib's stream, so they decode the same bits.
void BM_OurInflate(benchmark::State& state) {
  const Corpus& c = Pick(state);
  for (auto _ : state) benchmark::DoNotOptimize(zip::Inflate(c.zlib, std::size_t{64} << 20));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(c.data.size()));
}

void BM_ZlibInflate(benchmark::State& state) {
  const Corpus& c = Pick(state);
  for (auto _ : state) benchmark::DoNotOptimize(zip::test::ZlibInflate(c.zlib, std::size_t{64} << 20));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(c.data.size()));
}

BENCHMARK(BM_OurDeflate)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibDeflate6)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OurInflate)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibInflate)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Keeps the uncompressed megabytes per CPU second of every run by name.
class RateReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const auto& run : runs) {
      const std::string name = run.benchmark_name();
      const std::size_t corpus = name.back() == '1' ? 1 : 0;
      // CPU time: the codec is single-threaded and the machine is shared with fuzzers.
      const double secondsPerIteration = run.cpu_accumulated_time / static_cast<double>(run.iterations);
      rates[name] = static_cast<double>(Corpora()[corpus].data.size()) / secondsPerIteration / 1e6;
    }
  }
  std::map<std::string, double> rates;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RateReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  for (std::size_t i = 0; i < Corpora().size(); ++i) {
    const Corpus& c = Corpora()[i];
    auto rate = [&](const char* benchmark) {
      char name[64];
      std::snprintf(name, sizeof name, "%s/%zu", benchmark, i);
      return reporter.rates[name];
    };
    const double deflate = rate("BM_OurDeflate");
    const double zlibDeflate = rate("BM_ZlibDeflate6");
    const double inflate = rate("BM_OurInflate");
    const double zlibInflate = rate("BM_ZlibInflate");
    std::printf("\n%s: %zu bytes\n", c.name.c_str(), c.data.size());
    std::printf("compressed size: ours %zu, zlib level 6 %zu -> ours is %.2f%% of zlib's (aim: <= 102%%)\n",
                c.ours.size(), c.zlib.size(), 100.0 * static_cast<double>(c.ours.size()) / static_cast<double>(c.zlib.size()));
    std::printf("deflate: ours %.1f MB/s, zlib level 6 %.1f MB/s -> %.2f times zlib's speed (aim: >= 1)\n", deflate,
                zlibDeflate, zlibDeflate > 0 ? deflate / zlibDeflate : 0.0);
    std::printf("inflate: ours %.1f MB/s, zlib %.1f MB/s -> %.2f times zlib's speed (aim: >= 1)\n", inflate, zlibInflate,
                zlibInflate > 0 ? inflate / zlibInflate : 0.0);
  }
  return 0;
}
