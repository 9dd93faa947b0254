#pragma once
// Documents prepared for the reading, change and backup tests, and the small checks they share.

#include <cstdint>
#include <filesystem>
#include <string>

#include "change/ApplyChange.h"
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
// The owner write bit, which is what read-only means on Linux, whoever runs the test.
bool OwnerWritable(const std::filesystem::path& file);

// The read-only, hidden, system and archive bits as the program reads them back.
std::uint32_t ShownAttributes(const std::filesystem::path& file);

Outcome Apply(const std::filesystem::path& file, const change::ChangeRequest& request);

}  // namespace kestrel::test
