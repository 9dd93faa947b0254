#pragma once
// Reads expected-rows.jsonl: one JSON object per line with "file" and "rows" (14 strings, or null
// where the reading must fail) or "unreadable" (why it must fail); lines marked "unsure" are left
// out. Rows that the readings took
// by prefix where ours go by namespace are corrected to the namespace reading.

#include <array>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace kestrel::test {

using ExpectedRows = std::optional<std::array<std::string, 14>>;

std::map<std::string, ExpectedRows> LoadExpectedRows(const std::filesystem::path& jsonl);

}  // namespace kestrel::test
