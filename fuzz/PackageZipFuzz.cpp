// Drives the ZIP package reader over arbitrary bytes: open, list every entry, extract each under
// a small part limit, and run the checks a rewrite makes of the directory and the entries' places
// (ZIP64 records, data descriptors, overlaps). Every failure is an outcome; an exception (it ends
// the process) or a crash is a bug. Reading only: the in-memory file serves every path, so a
// replace would write over its own source.

#include <cstdint>
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
    kestrel::fs::OpenResult opened = kestrel::fs::OpenFile("fuzz.docx", kestrel::fs::OpenMode::Read);
    const auto directory = kestrel::zip::ReadZipDirectory(*opened.file, mode);
    if (directory && !directory->rebuilt) kestrel::zip::LocateEntries(*opened.file, *directory);
    if (!zip.OpenArchive()) continue;
    for (int i = 0; i < zip.EntryCount(); ++i) {
      const auto folder = zip.EntryPathName(i);
      const auto name = zip.EntryFileName(i);
      std::vector<std::uint8_t> out;
      // A damaged or oversized entry fails alone; the others are still read.
      if (folder && name) zip.ExtractToMemory(&out, *folder + *name);
    }
  }
  return 0;
}
