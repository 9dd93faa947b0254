#pragma once
// Test helpers for the compound-file tests: a small independent writer of whole compound files
// (versions 3 and 4), the olefile oracle (tests/oracle/cfb_dump.py) and SHA-256.

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/storage/CompoundFile.h"

#include "tests/support/Oracles.h"

namespace kestrel::storage::testing {

std::string Sha256Hex(const std::vector<std::uint8_t>& bytes);

struct GenStream {
  std::u16string name;
  std::vector<std::uint8_t> content;
};

struct GenOptions {
  int version = 3;
  // When non-zero: exactly this many FAT sectors, all of their entries in use (a stream called
  // "Filler" takes the room), so any growth needs a new FAT sector.
  std::uint32_t fullFatSectors = 0;
  // Link the streams as a chain of right children in the given order instead of a sorted,
  // balanced red-black tree.
  bool unsortedTree = false;
};

// A compound file holding `streams` in the root storage: FAT and DIFAT sectors first, then the
// directory, mini FAT, mini stream and the large streams, each contiguous.
std::vector<std::uint8_t> BuildCompoundFile(const std::vector<GenStream>& streams, const GenOptions& options = {});

// The file of an Open expected to succeed; null, with the refusal added as a test failure, when it
// did not.
std::unique_ptr<CompoundFile> Opened(Result<std::unique_ptr<CompoundFile>> opened);

// Content with a recognisable pattern.
std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t seed);

// For each sector of `file`, whether its FAT marks it in use (anything but free); sectors past
// the FAT's end are not in use. Read independently of CompoundFile, from the header, DIFAT and FAT.
std::vector<bool> SectorsInUse(const std::vector<std::uint8_t>& file);

using test::DumpedStream;
using test::OlefileDump;

// Reads every stream olefile listed through `cf` (found by FindChild along its path) and returns
// a line for each one whose size or SHA-256 differs; empty when all agree.
std::string DifferencesFromOlefile(const CompoundFile& cf, const std::map<std::string, DumpedStream>& dump);

}  // namespace kestrel::storage::testing
