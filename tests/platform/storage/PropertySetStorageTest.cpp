#include "platform/storage/PropertySetStorage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace kestrel::storage {
namespace {

namespace fs = std::filesystem;
using kestrel::fs::OpenMode;

TEST(PropertySetStreamNameTest, WellKnownSetsHaveTheirFixedNames) {
  EXPECT_EQ(PropertySetStreamName(kFmtidSummaryInformation), u"\u0005SummaryInformation");
  EXPECT_EQ(PropertySetStreamName(kFmtidDocSummaryInformation), u"\u0005DocumentSummaryInformation");
  EXPECT_EQ(PropertySetStreamName(kFmtidUserDefinedProperties), u"\u0005DocumentSummaryInformation");
}

TEST(PropertySetStreamNameTest, OtherSetsGetTheNameWindowsComputes) {
  // The media-file summary set's stream, as Windows names it in files it writes.
  EXPECT_EQ(PropertySetStreamName(kFmtidMediaFileSummaryInformation), u"\u0005SebiesnrMkudrfcoIaamtykdDa");
  // Bits run from the low bit of the first byte; the last letter holds the top 3 bits of byte 15;
  // a letter that starts on a byte boundary is upper case.
  EXPECT_EQ(PropertySetStreamName(Guid{}), u"\u0005AaaaaaaaAaaaaaaaAaaaaaaaAa");
  Guid lastByte{};
  lastByte.data4[7] = 0xE0;
  EXPECT_EQ(PropertySetStreamName(lastByte), u"\u0005AaaaaaaaAaaaaaaaAaaaaaaaAh");
  Guid firstBit{};
  firstBit.data1 = 1;
  EXPECT_EQ(PropertySetStreamName(firstBit), u"\u0005BaaaaaaaAaaaaaaaAaaaaaaaAa");
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Hex(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    out += "0123456789abcdef"[c >> 4];
    out += "0123456789abcdef"[c & 15];
  }
  return out;
}

PropertyValue Text(const std::string& text) {
  PropertyValue value;
  value.type = kVtLpstr;
  value.text = text;
  return value;
}

// Property-set writes into copies of the test documents, checked with olefile.
class PropertySetStorageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    python_ = test::OlefilePython();
    if (!python_) GTEST_SKIP() << "python3-olefile is not installed";
  }

  test::CommandResult Oracle(const std::string& script, const std::string& args) {
    return test::RunCommand(*python_ + " " + test::ShellQuote(test::TestScript("oracle/" + script).string()) + " " + args);
  }
  // propset_dump.py lines, empty when the stream is absent.
  std::vector<std::string> Props(const fs::path& file, const std::string& stream) {
    const test::CommandResult result = Oracle("propset_dump.py", "--more " + test::ShellQuote(file.string()) + " " + stream);
    return result.exitCode == 0 ? Lines(result.output) : std::vector<std::string>{};
  }
  // cfb_dump.py: stream path -> its line (size and hash).
  std::map<std::string, std::string> Streams(const fs::path& file) {
    const test::CommandResult result = Oracle("cfb_dump.py", "--strict " + test::ShellQuote(file.string()));
    EXPECT_EQ(result.exitCode, 0) << result.output;
    std::map<std::string, std::string> streams;
    for (const std::string& line : Lines(result.output)) {
      std::istringstream in(line);
      std::string kind, path;
      in >> kind >> path;
      if (kind == "stream") streams[path] = line;
    }
    return streams;
  }
  // The stream's bytes, as olefile reads them.
  std::string StreamHex(const fs::path& file, const std::string& stream) {
    return test::RunCommand(*python_ + " -c " +
                            test::ShellQuote("import olefile, sys\nprint(olefile.OleFileIO(sys.argv[1])"
                                             ".openstream('\\x05' + sys.argv[2]).read().hex())") +
                            " " + test::ShellQuote(file.string()) + " " + stream)
        .output;
  }

  // Writes one value into a copy of `document` and checks that no other stream changed.
  fs::path WriteInCopy(const std::string& document, const Guid& fmtid, std::uint32_t pid, const PropertyValue& value,
                       const std::string& changedStream) {
    const fs::path copy = dir_.Copy(test::DataFile(document));
    std::map<std::string, std::string> before = Streams(copy);
    {
      std::unique_ptr<CompoundFile> file = CompoundFile::Open(copy.string(), OpenMode::ReadWrite);
      EXPECT_TRUE(file);
      if (!file) return copy;
      EXPECT_TRUE(WritePropertySetValue(*file, fmtid, pid, value)) << document;
      EXPECT_TRUE(file->Flush());
    }
    std::map<std::string, std::string> after = Streams(copy);
    before.erase(changedStream);
    after.erase(changedStream);
    EXPECT_EQ(after, before) << document << ": a stream other than " << changedStream << " changed";
    return copy;
  }

  std::optional<std::string> python_;
  test::TempDir dir_;
};

// `before` with `line` in place of the line for the same property, or added at the end of its
// section when the property is new.
std::vector<std::string> Expected(std::vector<std::string> before, const std::string& line) {
  std::istringstream words(line);
  std::string kind, section, pid;
  words >> kind >> section >> pid;
  const std::string key = kind + " " + section + " " + pid + " ";
  auto last = before.end();
  for (auto it = before.begin(); it != before.end(); ++it) {
    if (it->starts_with(key)) {
      *it = line;
      return before;
    }
    std::istringstream other(*it);
    std::string otherKind, otherSection;
    other >> otherKind >> otherSection;
    if (otherSection == section) last = it + 1;
  }
  before.insert(last, line);
  return before;
}

TEST_F(PropertySetStorageTest, WritesIntoSummaryInformation) {
  const fs::path original = test::DataFile("lo-ascii-full.doc");
  const std::vector<std::string> before = Props(original, "SummaryInformation");
  const fs::path copy = WriteInCopy("lo-ascii-full.doc", kFmtidSummaryInformation, 2, Text("A new title"),
                                    "\\x05SummaryInformation");
  EXPECT_EQ(Props(copy, "SummaryInformation"), Expected(before, "prop 0 2 30 " + Hex("A new title")));
  std::unique_ptr<CompoundFile> file = CompoundFile::Open(copy.string(), OpenMode::Read);
  ASSERT_TRUE(file);
  std::optional<PropertySetStream> set = ReadPropertySet(*file, kFmtidSummaryInformation);
  ASSERT_TRUE(set);
  EXPECT_EQ(set->Read(kFmtidSummaryInformation, 2)->text, "A new title");
}

TEST_F(PropertySetStorageTest, WritesIntoDocumentSummaryKeepingTheUserDefinedSection) {
  const fs::path original = test::DataFile("lo-ja-full.doc");
  const std::vector<std::string> before = Props(original, "DocumentSummaryInformation");
  const std::string manager = "\xE5\xB1\xB1\xE7\x94\xB0\xE8\x8A\xB1\xE5\xAD\x90";  // 山田花子
  const fs::path copy = WriteInCopy("lo-ja-full.doc", kFmtidDocSummaryInformation, 14, Text(manager),
                                    "\\x05DocumentSummaryInformation");
  EXPECT_EQ(Props(copy, "DocumentSummaryInformation"), Expected(before, "prop 0 14 30 " + Hex(manager)));
  // The user-defined section is the tail of the stream before and after, byte for byte.
  const std::string oldHex = StreamHex(original, "DocumentSummaryInformation");
  const std::string newHex = StreamHex(copy, "DocumentSummaryInformation");
  const std::size_t userSection = 2 * 68 + 2 * 24;  // header, two list entries, the 24-byte first section
  ASSERT_GT(oldHex.size(), userSection);
  EXPECT_NE(newHex.find(oldHex.substr(userSection, oldHex.size() - 1 - userSection)), std::string::npos);
}

TEST_F(PropertySetStorageTest, CreatesAMissingDocumentSummaryStream) {
  const fs::path copy = WriteInCopy("poi-no-dsi.doc", kFmtidDocSummaryInformation, 15, Text("Kestrel Corp"),
                                    "\\x05DocumentSummaryInformation");
  EXPECT_EQ(Props(copy, "DocumentSummaryInformation"),
            (std::vector<std::string>{"section 0 d5cdd502-2e9c-101b-9397-08002b2cf9ae 932", "prop 0 1 2 932",
                                      "prop 0 15 30 " + Hex("Kestrel Corp")}));
  std::unique_ptr<CompoundFile> file = CompoundFile::Open(copy.string(), OpenMode::Read);
  ASSERT_TRUE(file);
  EXPECT_TRUE(ReadPropertySet(*file, kFmtidDocSummaryInformation));
  EXPECT_FALSE(ReadPropertySet(*file, kFmtidUserDefinedProperties)) << "the stream has no such section";
}

TEST_F(PropertySetStorageTest, CreatesOtherSetsUnderTheirComputedName) {
  const fs::path copy = WriteInCopy("lo-ascii-full.doc", kFmtidMediaFileSummaryInformation, 2, Text("Media"),
                                    "\\x05SebiesnrMkudrfcoIaamtykdDa");
  EXPECT_EQ(Props(copy, "SebiesnrMkudrfcoIaamtykdDa"),
            (std::vector<std::string>{"section 0 64440492-4c8b-11d1-8b70-080036b11a03 932", "prop 0 1 2 932",
                                      "prop 0 2 30 " + Hex("Media")}));
  std::unique_ptr<CompoundFile> file = CompoundFile::Open(copy.string(), OpenMode::Read);
  ASSERT_TRUE(file);
  std::optional<PropertySetStream> set = ReadPropertySet(*file, kFmtidMediaFileSummaryInformation);
  ASSERT_TRUE(set);
  EXPECT_EQ(set->Read(kFmtidMediaFileSummaryInformation, 2)->text, "Media");
}

TEST_F(PropertySetStorageTest, NeverReplacesASetItCannotParse) {
  std::optional<fs::path> corpus = test::PublicCorpusDir();
  if (!corpus) GTEST_SKIP() << "the public corpus is absent";
  // Its DocumentSummaryInformation stream does not hold together.
  const fs::path copy = dir_.Copy(*corpus / "docs" / "clusterfuzz-testcase-minimized-POIHWPFFuzzer-6610789829836800.doc");
  const std::vector<std::uint8_t> before = test::ReadBytes(copy);
  {
    std::unique_ptr<CompoundFile> file = CompoundFile::Open(copy.string(), OpenMode::ReadWrite);
    if (file) {
      EXPECT_FALSE(ReadPropertySet(*file, kFmtidDocSummaryInformation));
      EXPECT_FALSE(WritePropertySetValue(*file, kFmtidDocSummaryInformation, 2, Text("x")));
    }
  }
  EXPECT_EQ(test::ReadBytes(copy), before);
}

}  // namespace
}  // namespace kestrel::storage
