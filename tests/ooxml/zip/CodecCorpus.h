// Inputs for the Deflate codec and zlib as the independent reference, shared by the codec tests
// and the benchmark.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace kestrel::zip::test {

using Bytes = std::vector<std::uint8_t>;

// zlib's raw Deflate (windowBits -15, memLevel 8).
Bytes ZlibDeflate(std::span<const std::uint8_t> input, int level, int strategy);

struct ZlibInflated {
  bool ok = false;  // the stream ended with its final block within maxOutput
  Bytes data;
  std::size_t consumed = 0;
};
ZlibInflated ZlibInflate(std::span<const std::uint8_t> input, std::size_t maxOutput);

Bytes RandomBytes(std::size_t size, std::uint32_t seed);
// Word-like markup: repeated element names, attributes and varied text, so matches are of all
// lengths and distances.
Bytes SyntheticXml(std::size_t size, std::uint32_t seed);

struct ZipEntry {
  std::string name;  // "lo-ja-full.docx:word/document.xml"
  Bytes compressed;  // the raw Deflate data as stored in the package
  Bytes data;        // inflated by zlib
};
// Every Deflate entry of every readable .docx in dir, found through the central directory.
std::vector<ZipEntry> DocxEntries(const std::filesystem::path& dir);

struct NamedInput {
  std::string name;
  Bytes bytes;
};
// The inputs every codec test runs over: edge sizes, random, runs, matches at distance 32768,
// stored-block sizes, many blocks and the XML of the test documents.
std::vector<NamedInput> CodecInputs();

}  // namespace kestrel::zip::test
