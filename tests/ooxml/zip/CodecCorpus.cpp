#include "tests/ooxml/zip/CodecCorpus.h"

#include <zlib.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "platform/LittleEndian.h"

namespace kestrel::zip::test {

Bytes ZlibDeflate(std::span<const std::uint8_t> input, int level, int strategy) {
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy) != Z_OK) throw std::runtime_error("deflateInit2");
  Bytes out(deflateBound(&z, static_cast<uLong>(input.size())));
  z.next_in = const_cast<Bytef*>(input.data());
  z.avail_in = static_cast<uInt>(input.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  if (rc != Z_STREAM_END) throw std::runtime_error("deflate did not finish");
  return out;
}

ZlibInflated ZlibInflate(std::span<const std::uint8_t> input, std::size_t maxOutput) {
  z_stream z{};
  ZlibInflated result;
  if (inflateInit2(&z, -15) != Z_OK) throw std::runtime_error("inflateInit2");
  z.next_in = const_cast<Bytef*>(input.data());
  z.avail_in = static_cast<uInt>(input.size());
  Bytes out(std::min<std::size_t>(maxOutput, 1 << 16) + 1);
  int rc = Z_OK;
  // One byte more than the limit shows whether the stream wants to go past it.
  while (rc == Z_OK) {
    if (z.total_out == out.size()) {
      if (out.size() > maxOutput) break;
      out.resize(std::min(out.size() * 2, maxOutput + 1));
    }
    z.next_out = out.data() + z.total_out;
    z.avail_out = static_cast<uInt>(out.size() - z.total_out);
    rc = inflate(&z, Z_NO_FLUSH);
  }
  result.ok = rc == Z_STREAM_END && z.total_out <= maxOutput;
  out.resize(z.total_out);
  result.data = std::move(out);
  result.consumed = z.total_in;
  inflateEnd(&z);
  return result;
}

Bytes RandomBytes(std::size_t size, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out(size);
  for (auto& b : out) b = static_cast<std::uint8_t>(rng());
  return out;
}

Bytes SyntheticXml(std::size_t size, std::uint32_t seed) {
  static const char* const kWords[] = {"property", "document", "Kestrel", "editing", "summary", "author",
                                       "revision", "the", "of", "and", "月次報告書", "説明文です", "2023-06-15T18:45:10Z"};
  static const char* const kStyles[] = {"Normal", "Heading1", "Heading2", "ListParagraph", "Title"};
  std::mt19937 rng(seed);
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<w:document xmlns:w=\"urn:w\"><w:body>";
  while (xml.size() < size) {
    xml += "<w:p w:rsidR=\"00" + std::to_string(100000 + rng() % 900000) + "\"><w:pPr><w:pStyle w:val=\"";
    xml += kStyles[rng() % std::size(kStyles)];
    xml += "\"/></w:pPr>";
    for (unsigned r = 0, runs = 1 + rng() % 4; r < runs; ++r) {
      xml += "<w:r><w:rPr><w:sz w:val=\"" + std::to_string(16 + 2 * (rng() % 8)) + "\"/></w:rPr><w:t xml:space=\"preserve\">";
      for (unsigned w = 0, words = 1 + rng() % 12; w < words; ++w) {
        xml += kWords[rng() % std::size(kWords)];
        xml += w % 5 == 4 ? std::to_string(rng() % 10000) + ", " : " ";
      }
      xml += "</w:t></w:r>";
    }
    xml += "</w:p>\n";
  }
  xml.resize(size);
  return Bytes(xml.begin(), xml.end());
}

std::vector<ZipEntry> DocxEntries(const std::filesystem::path& dir) {
  std::vector<std::filesystem::path> files;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    if (e.path().extension() == ".docx") files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  std::vector<ZipEntry> entries;
  for (const auto& file : files) {
    std::ifstream in(file, std::ios::binary);
    const Bytes zip{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (zip.size() < 22) continue;
    std::size_t eocd = zip.size() - 22;
    while (eocd > 0 && le::Get32(&zip[eocd]) != 0x06054b50) --eocd;
    if (le::Get32(&zip[eocd]) != 0x06054b50) continue;  // not a package
    std::size_t at = le::Get32(&zip[eocd + 16]);
    for (std::uint32_t n = le::Get16(&zip[eocd + 10]);
         n > 0 && at + 46 <= zip.size() && le::Get32(&zip[at]) == 0x02014b50; --n) {
      const std::uint32_t method = le::Get16(&zip[at + 10]);
      const std::uint32_t compressedSize = le::Get32(&zip[at + 20]);
      const std::size_t nameLength = le::Get16(&zip[at + 28]);
      const std::size_t next = at + 46 + nameLength + le::Get16(&zip[at + 30]) + le::Get16(&zip[at + 32]);
      const std::size_t local = le::Get32(&zip[at + 42]);
      const std::string name(zip.begin() + static_cast<std::ptrdiff_t>(at + 46),
                             zip.begin() + static_cast<std::ptrdiff_t>(at + 46 + nameLength));
      const std::size_t data = local + 30 + le::Get16(&zip[local + 26]) + le::Get16(&zip[local + 28]);
      if (method == 8 && data + compressedSize <= zip.size()) {
        ZipEntry entry;
        entry.name = file.filename().string() + ":" + name;
        entry.compressed.assign(zip.begin() + static_cast<std::ptrdiff_t>(data),
                                zip.begin() + static_cast<std::ptrdiff_t>(data + compressedSize));
        entry.data = ZlibInflate(entry.compressed, std::size_t{64} << 20).data;
        entries.push_back(std::move(entry));
      }
      at = next;
    }
  }
  return entries;
}

std::vector<NamedInput> CodecInputs() {
  std::vector<NamedInput> inputs;
  inputs.push_back({"empty", {}});
  inputs.push_back({"one byte", {0x42}});
  inputs.push_back({"random", RandomBytes(100000, 1)});
  inputs.push_back({"random, several stored blocks", RandomBytes(200000, 2)});
  // Long runs of one byte: matches of 258 at distance 1.
  Bytes runs;
  for (int r = 0; r < 40; ++r) runs.insert(runs.end(), 1000 + 37 * r, static_cast<std::uint8_t>('a' + r % 3));
  inputs.push_back({"runs", runs});
  // A random 32 KiB block repeated: the only matches are exactly 32768 back.
  Bytes period = RandomBytes(32768, 3);
  Bytes repeated;
  for (int r = 0; r < 4; ++r) repeated.insert(repeated.end(), period.begin(), period.end());
  inputs.push_back({"period 32768", repeated});
  inputs.push_back({"xml, many blocks", SyntheticXml(300000, 4)});
  Bytes allXml;
  for (const auto& entry : DocxEntries(std::filesystem::path(KESTREL_SOURCE_DIR) / "tests" / "data")) {
    if (entry.name.ends_with(".xml")) allXml.insert(allXml.end(), entry.data.begin(), entry.data.end());
  }
  inputs.push_back({"xml of the test documents", allXml});
  return inputs;
}

}  // namespace kestrel::zip::test
