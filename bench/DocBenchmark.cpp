// Speed of the binary document services on the test documents, reported as ratios against
// references measured in the same run: olefile doing the same reading, and a plain read of
// the same files.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "catalogue/PropertyRows.h"
#include "doc/BinaryPropertyRows.h"
#include "doc/DopStatistics.h"
#include "doc/PropertyText.h"

namespace {

namespace fs = std::filesystem;
using namespace kestrel;

const std::vector<std::string>& Documents() {
  static const std::vector<std::string> files = [] {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(fs::path(KESTREL_SOURCE_DIR) / "tests" / "data")) {
      const std::string name = entry.path().filename().string();
      if ((name.starts_with("lo-") || name.starts_with("poi-")) && entry.path().extension() == ".doc") {
        found.push_back(entry.path().string());
      }
    }
    return found;
  }();
  return files;
}

fs::path ScratchDir() {
  static const fs::path dir = [] {
    fs::path path = fs::temp_directory_path() / "kestrel-bench";
    fs::create_directories(path);
    return path;
  }();
  return dir;
}

void BM_ReadBinaryPropertyRows(benchmark::State& state) {
  for (auto _ : state) {
    for (const auto& file : Documents()) benchmark::DoNotOptimize(doc::ReadBinaryPropertyRows(file));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(Documents().size()));
}

void BM_PlainRead(benchmark::State& state) {
  for (auto _ : state) {
    for (const auto& file : Documents()) {
      std::ifstream in(file, std::ios::binary);
      std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
      benchmark::DoNotOptimize(bytes);
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(Documents().size()));
}

// Every row written as a single change writes it, then the DOP.
void ApplySingleChange(const std::string& file, const catalogue::PropertyRows& rows) {
  for (int row = 0; row < catalogue::kRowCount; ++row) {
    const auto& r = catalogue::Catalogue().Row(row);
    doc::WritePropertyText(file, doc::FmtidOf(r.propertySet), static_cast<std::uint32_t>(r.propertyId), r.valueType,
                           rows.Value(row),
                           row == catalogue::kEditingTime ? doc::FileTimeStyle::Minutes : doc::FileTimeStyle::DateTime);
  }
  doc::BuildDopDates(file, rows);
}

void BM_SingleChange(benchmark::State& state) {
  const auto rows = catalogue::PropertyRows::AllIncluded(
      {"月次報告書", "売上の集計", "山田太郎", "報告書, テスト", "説明文です。", "技術資料", "12", "鈴木花子", "佐藤一郎",
       "株式会社テスト", "2021/04/01 9:15:30", "2023/06/15 18:45:10", "90", "2023/06/10 12:00:00"});
  std::vector<std::string> copies;
  for (const auto& file : Documents()) copies.push_back((ScratchDir() / fs::path(file).filename()).string());
  for (auto _ : state) {
    state.PauseTiming();
    for (std::size_t i = 0; i < copies.size(); ++i) fs::copy_file(Documents()[i], copies[i], fs::copy_options::overwrite_existing);
    state.ResumeTiming();
    for (const auto& copy : copies) ApplySingleChange(copy, rows);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(copies.size()));
}

BENCHMARK(BM_ReadBinaryPropertyRows)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SingleChange)->Unit(benchmark::kMillisecond);

// Keeps documents per second of every run by name.
class RateReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const auto& run : runs) {
      const double secondsPerIteration = run.real_accumulated_time / static_cast<double>(run.iterations);
      rates[run.benchmark_name()] = static_cast<double>(Documents().size()) / secondsPerIteration;
    }
  }
  std::map<std::string, double> rates;
};

double OlefileRate() {
  std::string command = "/usr/bin/python3 '" KESTREL_SOURCE_DIR "/bench/olefile_read.py' 3";
  for (const auto& file : Documents()) command += " '" + file + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return 0;
  double rate = 0;
  if (std::fscanf(pipe, "%lf", &rate) != 1) rate = 0;
  pclose(pipe);
  return rate;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("TZ", "Asia/Tokyo", 1);
  benchmark::Initialize(&argc, argv);
  RateReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const double read = reporter.rates["BM_ReadBinaryPropertyRows"];
  const double plain = reporter.rates["BM_PlainRead"];
  const double change = reporter.rates["BM_SingleChange"];
  const double olefile = OlefileRate();
  std::printf("\n%zu documents\n", Documents().size());
  std::printf("ReadBinaryPropertyRows: %.0f documents/s\n", read);
  std::printf("olefile, same reading:   %.0f documents/s  -> ours is %.1f times faster (aim: >= 50)\n", olefile,
              olefile > 0 ? read / olefile : 0.0);
  std::printf("single change:          %.0f documents/s  -> costs %.1f plain reads of the file (aim: <= 10)\n", change,
              change > 0 ? plain / change : 0.0);
  return 0;
}
