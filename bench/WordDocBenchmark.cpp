// Speed of the binary document services on the test documents, reported as ratios against
// references measured in the same run: olefile doing the same reading, and a plain read of
// the same files.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/PropertyRows.h"
#include "platform/fs/FileIo.h"
#include "worddoc/BinaryChange.h"
#include "worddoc/BinaryPropertyRows.h"

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
    for (const auto& file : Documents()) benchmark::DoNotOptimize(worddoc::ReadBinaryPropertyRows(file));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(Documents().size()));
}

// The whole file into memory: open, one read, close.
void BM_PlainRead(benchmark::State& state) {
  std::vector<char> bytes;
  for (auto _ : state) {
    for (const auto& file : Documents()) {
      std::FILE* in = std::fopen(file.c_str(), "rb");
      bytes.resize(static_cast<std::size_t>(fs::file_size(file)));
      benchmark::DoNotOptimize(std::fread(bytes.data(), 1, bytes.size(), in));
      std::fclose(in);
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(Documents().size()));
}

// Files that count their syncs and, when asked, return from them at once, to show what a change
// costs apart from waiting for the disk.
std::int64_t syncs = 0;
class CountingFile final : public kestrel::fs::RandomAccessFile {
 public:
  CountingFile(std::unique_ptr<kestrel::fs::RandomAccessFile> inner, bool sync) : inner_(std::move(inner)), sync_(sync) {}
  std::uint64_t Size() const override { return inner_->Size(); }
  kestrel::Outcome ReadAt(std::uint64_t offset, void* buffer, std::size_t n) override {
    return inner_->ReadAt(offset, buffer, n);
  }
  kestrel::Outcome WriteAt(std::uint64_t offset, const void* data, std::size_t n) override {
    return inner_->WriteAt(offset, data, n);
  }
  kestrel::Outcome SetTimes(std::optional<kestrel::fs::Timestamp> lastAccess,
                            std::optional<kestrel::fs::Timestamp> lastWrite) override {
    return inner_->SetTimes(lastAccess, lastWrite);
  }
  kestrel::Outcome Truncate(std::uint64_t size) override { return inner_->Truncate(size); }
  std::optional<kestrel::fs::FileIdentity> Identity() const override { return inner_->Identity(); }
  std::optional<kestrel::fs::FileRecord> Record() const override { return inner_->Record(); }
  kestrel::Outcome Sync() override {
    ++syncs;
    return sync_ ? inner_->Sync() : kestrel::Outcome::Success();
  }

 private:
  std::unique_ptr<kestrel::fs::RandomAccessFile> inner_;
  bool sync_;
};

// A whole single change of each document: 14 rows and the statistics block in one commit. Two
// sets of values take turns, so every change writes and none needs a fresh copy of the document
// (the copies are made once; a document's first change may also grow the file).
void BM_SingleChange(benchmark::State& state) {
  const bool sync = state.range(0) != 0;
  kestrel::fs::SetFileOpener([sync](const std::string& path, kestrel::fs::OpenMode mode) {
    auto result = kestrel::fs::OpenPosixFile(path, mode);
    if (result.file) result.file = std::make_unique<CountingFile>(std::move(result.file), sync);
    return result;
  });
  const std::array<catalogue::PropertyRows, 2> turns = {
      catalogue::PropertyRows::AllIncluded({"月次報告書", "売上の集計", "山田太郎", "報告書, テスト", "説明文です。",
                                            "技術資料", "12", "鈴木花子", "佐藤一郎", "株式会社テスト",
                                            "2021/04/01 9:15:30", "2023/06/15 18:45:10", "90", "2023/06/10 12:00:00"}),
      catalogue::PropertyRows::AllIncluded({"週次報告書", "経費の集計", "田中次郎", "経費, テスト", "別の説明文です。",
                                            "管理資料", "13", "高橋花子", "伊藤一郎", "有限会社テスト",
                                            "2020/01/02 8:00:00", "2024/07/08 9:10:00", "120", ""})};
  std::vector<std::string> copies;
  for (const auto& file : Documents()) {
    copies.push_back((ScratchDir() / fs::path(file).filename()).string());
    fs::copy_file(file, copies.back(), fs::copy_options::overwrite_existing);
  }
  syncs = 0;
  std::size_t turn = 0;
  for (auto _ : state) {
    for (const auto& copy : copies) {
      if (!worddoc::ChangeBinaryProperties(copy, turns[turn])) state.SkipWithError("a change failed");
    }
    turn ^= 1;
  }
  kestrel::fs::SetFileOpener({});
  const auto changes = state.iterations() * static_cast<std::int64_t>(copies.size());
  state.counters["syncs_per_change"] = static_cast<double>(syncs) / static_cast<double>(changes);
  state.SetItemsProcessed(changes);
}

BENCHMARK(BM_ReadBinaryPropertyRows)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond);
// Argument 1: syncs reach the disk, as in the program; 0: syncs skipped.
BENCHMARK(BM_SingleChange)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

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
  std::string command = "/usr/bin/python3 '" KESTREL_SOURCE_DIR "/bench/python_reader.py' --rate 3";
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
  const double change = reporter.rates["BM_SingleChange/1"];
  const double changeNoSync = reporter.rates["BM_SingleChange/0"];
  const double olefile = OlefileRate();
  std::printf("\n%zu documents\n", Documents().size());
  std::printf("ReadBinaryPropertyRows: %.0f documents/s\n", read);
  std::printf("olefile, same reading:   %.0f documents/s  -> ours is %.1f times faster (aim: >= 50)\n", olefile,
              olefile > 0 ? read / olefile : 0.0);
  std::printf("plain read of the file: %.0f documents/s\n", plain);
  std::printf("single change:          %.0f documents/s  -> costs %.1f plain reads, %.1f property reads\n", change,
              change > 0 ? plain / change : 0.0, change > 0 ? read / change : 0.0);
  std::printf("  (aim: at most 2 syncs per change and 5 times the 349 changes/s measured before one commit per change)\n");
  std::printf("  the same, syncs skipped: %.0f documents/s -> costs %.1f plain reads, %.1f property reads\n",
              changeNoSync, changeNoSync > 0 ? plain / changeNoSync : 0.0, changeNoSync > 0 ? read / changeNoSync : 0.0);
  std::printf("  (aim: at most 4 plain reads)\n");
  return 0;
}
