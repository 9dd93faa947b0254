#pragma once
// The small checks the change and backup tests share, beside their prepared documents.

#include <cstdint>
#include <filesystem>

#include "change/ApplyChange.h"
#include "tests/support/PreparedDocument.h"

namespace kestrel::test {

// The owner write bit, which is what read-only means on Linux, whoever runs the test.
bool OwnerWritable(const std::filesystem::path& file);

// The read-only, hidden, system and archive bits as the program reads them back.
std::uint32_t ShownAttributes(const std::filesystem::path& file);

Outcome Apply(const std::filesystem::path& file, const change::ChangeRequest& request);

}  // namespace kestrel::test
