// One entry replaced in a large package against a plain copy of the same file (copy_file_range, as
// cp does it) and against that copy made durable (fdatasync, which the replace must do before its
// rename), measured in the same run, best of a few rounds; and the growth of the process's peak
// memory during the replace: the kept entries go over inside the kernel, so memory must not grow
// with the package.
//
// usage: package_write_bench [MIB] [ROUNDS]   (the package's size, 200 by default; 3 rounds)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include "ooxml/zip/PackageZip.h"

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
  const int mib = argc > 1 ? std::atoi(argv[1]) : 200;
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  const stdfs::path dir = stdfs::temp_directory_path() / "kestrel-package-write-bench";
  stdfs::create_directories(dir);
  const stdfs::path package = dir / "big.docx";
  const std::string make = "/usr/bin/python3 '" KESTREL_SOURCE_DIR "/bench/make_big_package.py' '" KESTREL_SOURCE_DIR
                           "/tests/data/lo-ja-full.docx' '" + package.string() + "' " + std::to_string(mib);
  if (std::system(make.c_str()) != 0) return 1;

  zip::Package zip;
  zip.SetRelativePaths(true);
  zip.SetZipName(package.string());
  std::vector<double> copies, durableCopies, replaces;
  long growthKiB = 0;
  for (int round = 0; round < rounds; ++round) {
    auto start = Clock::now();
    stdfs::copy_file(package, dir / "copy.docx", stdfs::copy_options::overwrite_existing);
    copies.push_back(Seconds(start));
    start = Clock::now();
    stdfs::copy_file(package, dir / "synced.docx", stdfs::copy_options::overwrite_existing);
    const int synced = ::open((dir / "synced.docx").c_str(), O_RDWR | O_CLOEXEC);
    if (synced < 0 || ::fdatasync(synced) != 0) return 1;
    ::close(synced);
    durableCopies.push_back(Seconds(start));

    const std::string text = "<cp:coreProperties>round " + std::to_string(round) + "</cp:coreProperties>";
    const std::vector<std::uint8_t> content(text.begin(), text.end());
    const long before = PeakKilobytes();
    start = Clock::now();
    if (const Result<int> replaced = zip.ReplaceFromMemory(&content, "docProps\\core.xml"); !replaced) {
      std::fprintf(stderr, "replace failed: %s\n", replaced.outcome().message().c_str());
      return 1;
    }
    replaces.push_back(Seconds(start));
    growthKiB = std::max(growthKiB, PeakKilobytes() - before);
  }
  const double copy = *std::min_element(copies.begin(), copies.end());
  const double durableCopy = *std::min_element(durableCopies.begin(), durableCopies.end());
  const double replace = *std::min_element(replaces.begin(), replaces.end());
  std::printf("package of %d MiB (%.0f MiB on disk), best of %d rounds\n", mib,
              static_cast<double>(stdfs::file_size(package)) / (1 << 20), rounds);
  std::printf("plain copy (copy_file_range):   %.3f s\n", copy);
  std::printf("the copy and fdatasync:         %.3f s\n", durableCopy);
  std::printf("one entry replaced:             %.3f s  -> %.2f times the copy (aim: <= 1.3), %.2f times the synced copy\n",
              replace, replace / copy, replace / durableCopy);
  std::printf("peak memory: %.1f MiB, grown by %ld KiB during a replace (must not grow with the package)\n",
              static_cast<double>(PeakKilobytes()) / 1024, growthKiB);
  stdfs::remove_all(dir);
  return 0;
}
