#pragma once
// The attribute word and creation time in a file's user.DOSATTRIB blob, as dosattrib.py decodes
// them on its own with os.getxattr.

#include <cstdint>
#include <filesystem>
#include <optional>

namespace kestrel::test {

struct DosAttribReading {
  bool present = false;  // the file has the attribute at all
  std::uint32_t attributes = 0;
  std::optional<std::uint64_t> creation;  // FILETIME, when the blob marks it valid
};

// nullopt when Debian's python3 is absent (the reason is printed) or the script cannot decode the
// blob (recorded as a failure).
std::optional<DosAttribReading> ReadDosAttrib(const std::filesystem::path& file);

}  // namespace kestrel::test
