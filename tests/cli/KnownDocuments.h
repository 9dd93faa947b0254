#pragma once
// Copies of test documents whose times, attributes and creation time the test sets itself, with
// the CSV lines the export must give them, built from tests/data/expected-rows.jsonl.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kestrel::test {

struct KnownDocuments {
  std::vector<std::string> names;    // the copies, as given on the command line in their folder
  std::vector<std::string> sources;  // what each is a copy of, in tests/data
  std::vector<std::string> lines;  // the header line, then one line per copy (UTF-8, no line end)
};

// Three copies in `folder`: a .doc with the archive bit, a read-only, hidden, system and archive
// .docx with a Japanese name and a last write at midnight, and a .docx with a multi-line comment
// and a last access too early to be shown. nullopt when the folder's file system keeps no
// attribute store (user.* extended attributes).
std::optional<KnownDocuments> PrepareKnownDocuments(const std::filesystem::path& folder);

}  // namespace kestrel::test
