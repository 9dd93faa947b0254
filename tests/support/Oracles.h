#pragma once
// The independent readers of tests/oracle (python3-olefile), run as separate processes. Each
// returns nullopt when olefile cannot open the file.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::test {

struct DumpedStream {
  std::vector<std::u16string> path;  // storage names, then the stream's
  std::uint64_t size = 0;
  std::string sha256;
};
// cfb_dump.py's view: escaped path ("\x05SummaryInformation", "ObjectPool/...") -> stream.
// nullopt (with olefile's message in *error) when olefile cannot open the file. `flags` are
// passed on (e.g. "--strict --tree").
std::optional<std::map<std::string, DumpedStream>> OlefileDump(const std::filesystem::path& file,
                                                               const std::string& flags = {},
                                                               std::string* error = nullptr);

// Escaped stream path to "size sha256".
using StreamHashes = std::map<std::string, std::string>;
std::optional<StreamHashes> DumpStreams(const std::filesystem::path& file);

// A property set as olefile and our independent Python parser see it.
struct PropertyDump {
  std::map<int, std::string> sections;                   // index -> "fmtid codepage"
  std::map<std::pair<int, std::uint32_t>, std::string> properties;  // (section, pid) -> "vt value"
  friend bool operator==(const PropertyDump&, const PropertyDump&) = default;
};
// stream: "SummaryInformation" or "DocumentSummaryInformation" (without the \x05).
std::optional<PropertyDump> DumpPropertySet(const std::filesystem::path& file, const std::string& stream);

// A binary document's streams and both property sets, as olefile sees them.
struct DocumentSnapshot {
  StreamHashes streams;
  PropertyDump summary;
  std::optional<PropertyDump> docSummary;  // absent when the document has no such stream
};
// nullopt when olefile cannot open the file or read its SummaryInformation.
std::optional<DocumentSnapshot> TakeSnapshot(const std::filesystem::path& file);

// "vt value" the way the dump writes a text property.
std::string DumpedText(int vartype, std::string_view utf8);

// Hex of count bytes at offset of a stream, read by olefile.
std::optional<std::string> StreamBytes(const std::filesystem::path& file, const std::string& stream,
                                       std::uint64_t offset, std::size_t count);

// The little-endian number of `width` bytes (at most 8) at offset of a stream, read by olefile;
// nullopt when the stream does not hold them.
std::optional<std::uint64_t> StreamNumber(const std::filesystem::path& file, const std::string& stream,
                                          std::uint64_t offset, std::size_t width);

}  // namespace kestrel::test
