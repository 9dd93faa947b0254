// Drives the ZIP package reader over arbitrary bytes: open, list every entry, extract each under
// a small part limit, and run the checks a rewrite makes of the directory and the entries' places
// (ZIP64 records, data descriptors, overlaps). Our own exceptions are expected; anything else is a
// bug. Reading only: the in-memory file serves every path, so a replace would write over its own
// source.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/MemoryFile.h"
#include "ooxml/zip/PackageZip.h"
#include "ooxml/zip/ZipDirectory.h"
#include "platform/fs/FileIo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto bytes = std::make_shared<std::vector<std::uint8_t>>(data, data + size);
  kestrel::fuzz::ScopedMemoryFiles files(bytes);
  for (auto mode : {kestrel::zip::IncompleteZipMode::AssumeNotAZip, kestrel::zip::IncompleteZipMode::AssumeDamaged}) {
    kestrel::zip::Package zip;
    zip.SetRelativePaths(true);
    zip.SetZipName("fuzz.docx");
    zip.SetIncompleteZipMode(mode);
    zip.SetMaxPartSize(std::size_t{1} << 20);
    try {
      kestrel::fs::OpenResult opened = kestrel::fs::OpenFile("fuzz.docx", kestrel::fs::OpenMode::Read);
      try {
        const kestrel::zip::ZipDirectory directory = kestrel::zip::ReadZipDirectory(*opened.file, mode);
        if (!directory.rebuilt) kestrel::zip::LocateEntries(*opened.file, directory);
      } catch (const kestrel::zip::WriteError&) {
        // A layout a rewrite refuses; reading goes on.
      }
      zip.OpenArchive();
      for (int i = 0; i < zip.EntryCount(); ++i) {
        const std::string name = zip.EntryPathName(i) + zip.EntryFileName(i);
        std::vector<std::uint8_t> out;
        try {
          zip.ExtractToMemory(&out, name);
        } catch (const kestrel::zip::ReadError&) {
          // A damaged or oversized entry; the others are still read.
        }
      }
    } catch (const kestrel::zip::Error&) {
    } catch (...) {
      std::fprintf(stderr, "PackageZipFuzz: unexpected exception\n");
      std::abort();
    }
  }
  return 0;
}
