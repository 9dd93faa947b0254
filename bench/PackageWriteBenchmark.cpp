// One WriteOoxmlProperties on a large package (two rewrites of the whole archive) against a
// plain copy of the same file, measured in the same run, and the peak memory of the process:
// copied entries are streamed, so memory must not grow with the package.
//
// usage: package_write_bench [MIB]   (the package's size; 100 by default)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <sys/resource.h>

#include "ooxml/OoxmlProperties.h"

namespace {

namespace stdfs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

long PeakKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kestrel;
  const int mib = argc > 1 ? std::atoi(argv[1]) : 100;
  setenv("TZ", "Asia/Tokyo", 1);
  const stdfs::path dir = stdfs::temp_directory_path() / "kestrel-package-bench";
  stdfs::create_directories(dir);
  const stdfs::path package = dir / "big.docx";
  const std::string make = "/usr/bin/python3 '" KESTREL_SOURCE_DIR "/bench/make_big_package.py' '" KESTREL_SOURCE_DIR
                           "/tests/data/lo-ja-full.docx' '" + package.string() + "' " + std::to_string(mib);
  if (std::system(make.c_str()) != 0) return 1;
  const long before = PeakKilobytes();

  auto start = Clock::now();
  stdfs::copy_file(package, dir / "copy.docx", stdfs::copy_options::overwrite_existing);
  const double copy = Seconds(start);

  const auto rows = catalogue::PropertyRows::AllIncluded(
      {"月次報告書", "売上の集計", "山田太郎", "報告書 テスト", "説明文です。", "技術資料", "12", "鈴木花子", "佐藤一郎",
       "株式会社テスト", "2021/04/01 9:15:30", "2023/06/15 18:45:10", "90", "2023/06/10 12:00:00"});
  zip::TPackageZip myzip;
  xml::XmlDocument axml;
  start = Clock::now();
  const bool written = ooxml::WriteOoxmlProperties(myzip, axml, package.string(), rows);
  const double write = Seconds(start);

  std::printf("package of %d MiB (%.0f MiB on disk)\n", mib, static_cast<double>(stdfs::file_size(package)) / (1 << 20));
  std::printf("plain copy:               %.3f s\n", copy);
  std::printf("WriteOoxmlProperties:     %.3f s (%s)  -> %.2f times the copy (aim: <= 2.5)\n", write,
              written ? "written" : "FAILED", write / copy);
  std::printf("peak memory of the process: %.1f MiB (%.1f MiB before the write; aim: < 64)\n",
              static_cast<double>(PeakKilobytes()) / 1024, static_cast<double>(before) / 1024);
  stdfs::remove_all(dir);
  return written ? 0 : 1;
}
