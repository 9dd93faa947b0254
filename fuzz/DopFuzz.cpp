// Fuzzes the document statistics lookup (FIB, table stream choice, DOP bounds), the compound-file
// document reading built on it and the change of one row through the whole commit, through the
// real open path over an in-memory file.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/MemoryFile.h"
#include "worddoc/BinaryChange.h"
#include "worddoc/BinaryPropertyRows.h"
#include "worddoc/DopStatistics.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kestrel;
  auto bytes = std::make_shared<std::vector<std::uint8_t>>(data, data + size);
  const fuzz::ScopedMemoryFiles files(bytes);
  const std::string path = "fuzz.doc";
  worddoc::ReadBinaryPropertyRows(path);
  const std::int32_t before = worddoc::ReadEditingMinutes(path);

  const auto original = *bytes;
  const std::int32_t minutes = before == 4321 ? 1234 : 4321;
  catalogue::PropertyRows rows;
  rows.values.at(catalogue::kEditingTime) = std::to_string(minutes);
  rows.included.at(catalogue::kEditingTime) = true;
  const bool written = worddoc::ChangeBinaryProperties(path, rows).ok();
  // A write that reports success must read back as the reading shows it (from the statistics
  // block of a Word document, from the property set of any other compound file); one that fails
  // must leave every byte alone.
  const auto shown = [&path] { return worddoc::ReadBinaryPropertyRows(path)[catalogue::kEditingTime]; };
  if (written && shown() != std::to_string(minutes)) std::abort();
  if (!written && *bytes != original) std::abort();
  return 0;
}
