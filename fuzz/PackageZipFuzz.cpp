// Drives the ZIP package reader over arbitrary bytes: open, list every entry, extract each under
// a small part limit. Our own exceptions are expected; anything else is a bug. Reading only:
// the in-memory file serves every path, so a replace would write over its own source.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/MemoryFile.h"
#include "ooxml/zip/PackageZip.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto bytes = std::make_shared<std::vector<std::uint8_t>>(data, data + size);
  kestrel::fuzz::ScopedMemoryFiles files(bytes);
  for (auto mode : {kestrel::zip::IncompleteZipMode::izAssumeNotAZip, kestrel::zip::IncompleteZipMode::izAssumeBad}) {
    kestrel::zip::TPackageZip zip;
    zip.SetRelativePaths(true);
    zip.SetZipName("fuzz.docx");
    zip.SetIncompleteZipMode(mode);
    zip.SetMaxPartSize(std::size_t{1} << 20);
    try {
      zip.OpenArchive();
      for (int i = 0; i < zip.EntryCount(); ++i) {
        const std::string name = zip.EntryPathName(i) + zip.EntryFileName(i);
        std::vector<std::uint8_t> out;
        try {
          zip.ExtractToMemory(&out, name);
        } catch (const kestrel::zip::EZipReadError&) {
          // A damaged or oversized entry; the others are still read.
        }
      }
    } catch (const kestrel::zip::EZipError&) {
    } catch (...) {
      std::fprintf(stderr, "PackageZipFuzz: unexpected exception\n");
      std::abort();
    }
  }
  return 0;
}
