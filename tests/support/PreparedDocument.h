#pragma once
// Copies of the test documents with times that only an exact putting back keeps, for the tests
// that read, change or back up a document and then look at the file.

#include <filesystem>
#include <string>

#include "tests/support/FileSnapshot.h"
#include "tests/support/TestSupport.h"

namespace kestrel::test {

// Times that only an exact putting back keeps: digits below the microsecond, in the past.
inline constexpr KernelTime kOddLastWrite{1'551'675'967, 123'456'789};  // 2019-03-04
inline constexpr KernelTime kOddLastAccess{1'552'000'000, 987'654'321};

// A copy of a tests/data document with the odd times, read-only (every write bit off) if asked.
std::filesystem::path PrepareDocument(const TempDir& dir, const std::string& name, bool readOnly,
                                      const std::string& newName = {});

void MakeReadOnly(const std::filesystem::path& file);

}  // namespace kestrel::test
