#include "platform/storage/PropertySetStream.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/LittleEndian.h"
#include "platform/text/CodePage.h"
#include "tests/support/TestSupport.h"

namespace kestrel::storage {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using Bytes = std::vector<std::uint8_t>;

// ---- hand-made streams -------------------------------------------------------------------------

Bytes Typed(std::uint16_t type, const Bytes& body) {
  Bytes out;
  le::Append16(out, type);
  le::Append16(out, 0);
  out.insert(out.end(), body.begin(), body.end());
  while (out.size() % 4 != 0) out.push_back(0);
  return out;
}
Bytes I2(std::uint16_t v) {
  Bytes b;
  le::Append16(b, v);
  return Typed(kVtI2, b);
}
Bytes CountedBytes(const std::string& s) {
  Bytes b;
  le::Append32(b, static_cast<std::uint32_t>(s.size()));
  b.insert(b.end(), s.begin(), s.end());
  return b;
}
Bytes Lpstr(const std::string& storedWithNul) { return Typed(kVtLpstr, CountedBytes(storedWithNul)); }

struct HandSection {
  Guid fmtid;
  std::vector<std::pair<std::uint32_t, Bytes>> properties;
};

// A stream laid out the plain way: header, section list, sections with values in table order.
Bytes HandStream(const std::vector<HandSection>& sections) {
  Bytes out = {0xFE, 0xFF, 0, 0, 0x0A, 0, 2, 0};
  const auto clsid = sections.front().fmtid.ToBytes();
  out.insert(out.end(), clsid.begin(), clsid.end());
  le::Append32(out, static_cast<std::uint32_t>(sections.size()));
  for (const HandSection& s : sections) {
    const auto id = s.fmtid.ToBytes();
    out.insert(out.end(), id.begin(), id.end());
    le::Append32(out, 0);
  }
  for (std::size_t i = 0; i < sections.size(); ++i) {
    le::Put32(&out[28 + 20 * i + 16], static_cast<std::uint32_t>(out.size()));
    Bytes section;
    le::Append32(section, 0);
    le::Append32(section, static_cast<std::uint32_t>(sections[i].properties.size()));
    section.resize(8 + 8 * sections[i].properties.size());
    for (std::size_t p = 0; p < sections[i].properties.size(); ++p) {
      le::Put32(&section[8 + 8 * p], sections[i].properties[p].first);
      le::Put32(&section[12 + 8 * p], static_cast<std::uint32_t>(section.size()));
      const Bytes& value = sections[i].properties[p].second;
      section.insert(section.end(), value.begin(), value.end());
    }
    le::Put32(&section[0], static_cast<std::uint32_t>(section.size()));
    out.insert(out.end(), section.begin(), section.end());
  }
  return out;
}

const Guid kOther{0x12345678, 0x9ABC, 0xDEF0, {1, 2, 3, 4, 5, 6, 7, 8}};

// ---- the independent reader ----------------------------------------------------------------

std::string Hex(const std::string& text) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : text) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

// A value printed the way tests/oracle/propset_dump.py prints it.
std::string OracleForm(const std::optional<PropertyValue>& value, std::uint32_t pid) {
  if (!value) return "?";
  std::ostringstream out;
  out << value->type << ' ';
  switch (value->type) {
    case kVtEmpty: case kVtNull:
      out << '-';
      break;
    case kVtLpstr: case kVtBstr: case kVtLpwstr:
      out << Hex(value->text);
      break;
    case kVtFiletime:
      out << static_cast<std::uint64_t>(value->integer);
      break;
    case kVtI2:
      out << (pid == kPidCodePage ? static_cast<std::uint16_t>(value->integer) : value->integer);
      break;
    case kVtI4: case kVtInt: case kVtUi1: case kVtUi2: case kVtUi4: case kVtBool: case kVtError:
      out << value->integer;
      break;
    default:
      out << '?';
  }
  return out.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class OracleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    python_ = test::OlefilePython();
    if (!python_) GTEST_SKIP() << "python3-olefile is not installed";
  }

  // The oracle's lines for the stream bytes.
  std::vector<std::string> Dump(const Bytes& stream, bool more = false) {
    const fs::path file = dir_.Path() / ("stream" + std::to_string(counter_++));
    test::WriteBytes(file, stream);
    const test::CommandResult result = test::RunCommand(
        *python_ + " " + test::ShellQuote(test::TestScript("oracle/propset_dump.py").string()) +
        (more ? " --more" : "") + " --raw " + test::ShellQuote(file.string()));
    EXPECT_EQ(result.exitCode, 0) << result.output;
    return Lines(result.output);
  }

  bool OracleReads(const Bytes& stream) {
    const fs::path file = dir_.Path() / ("stream" + std::to_string(counter_++));
    test::WriteBytes(file, stream);
    return test::RunCommand(*python_ + " " + test::ShellQuote(test::TestScript("oracle/propset_dump.py").string()) +
                            " --raw " + test::ShellQuote(file.string()))
               .exitCode == 0;
  }

  // One stream of a compound file, read by olefile; nullopt when the file has no such stream or
  // is no compound file.
  std::optional<Bytes> Extract(const fs::path& doc, const std::string& name) {
    const fs::path out = dir_.Path() / ("extract" + std::to_string(counter_++));
    const test::CommandResult result = test::RunCommand(
        *python_ + " -c " +
        test::ShellQuote("import olefile, sys\nif not olefile.isOleFile(sys.argv[1]): sys.exit(0)\n"
                         "ole = olefile.OleFileIO(sys.argv[1])\nname = '\\x05' + sys.argv[2]\n"
                         "if ole.exists(name): open(sys.argv[3], 'wb').write(ole.openstream(name).read())") +
        " " + test::ShellQuote(doc.string()) + " " + name + " " + test::ShellQuote(out.string()));
    EXPECT_EQ(result.exitCode, 0) << result.output;
    if (!fs::exists(out)) return std::nullopt;
    return test::ReadBytes(out);
  }

  // Every property line of the oracle, as the codec reads the same pid.
  void ExpectReadsLikeOracle(const PropertySetStream& stream, const Bytes& bytes, const std::string& what) {
    std::vector<Guid> fmtids;
    for (const std::string& line : Dump(bytes)) {
      std::istringstream in(line);
      std::string kind;
      std::size_t section = 0;
      in >> kind >> section;
      if (kind == "section") {
        std::string fmtid;
        unsigned codePage = 0;
        in >> fmtid >> codePage;
        fmtids.push_back(*Guid::Parse(fmtid));
        EXPECT_EQ(stream.CodePage(fmtids.back()), codePage) << what << ": " << line;
        continue;
      }
      std::uint32_t pid = 0;
      in >> pid;
      std::string rest;
      std::getline(in, rest);
      ASSERT_LT(section, fmtids.size());
      // A second section with the same FMTID is not addressable by FMTID; skip it.
      if (std::count(fmtids.begin(), fmtids.end(), fmtids[section]) > 1) continue;
      const std::string expected = rest.substr(1);
      const std::string actual = OracleForm(stream.Read(fmtids[section], pid), pid);
      if (expected.ends_with(" ?")) {
        EXPECT_TRUE(actual == "?" || actual.starts_with(expected.substr(0, expected.size() - 1)))
            << what << ": " << line << " / " << actual;
      } else {
        EXPECT_EQ(actual, expected) << what << ": " << line;
      }
    }
  }

  std::optional<std::string> python_;
  test::TempDir dir_;
  int counter_ = 0;
};

// The property-set streams of every test document and, when present, of the public corpus.
// `office`: also the workbooks and presentations beside the public corpus.
std::vector<fs::path> Documents(bool office) {
  std::vector<fs::path> docs;
  for (const auto& entry : fs::directory_iterator(test::DataFile(""))) {
    if (entry.path().extension() == ".doc" && entry.path().filename() != "x.doc") docs.push_back(entry.path());
  }
  if (std::optional<fs::path> corpus = test::PublicCorpusDir()) {
    for (const auto& entry : fs::directory_iterator(*corpus / "docs")) {
      if (entry.path().extension() == ".doc") docs.push_back(entry.path());
    }
    // Workbooks and presentations beside it bring sets in 1200 and 65001 and other layouts.
    const fs::path others = corpus->parent_path() / "corpus-office" / "docs";
    for (const auto& entry : office && fs::exists(others) ? fs::directory_iterator(others) : fs::directory_iterator()) {
      if (entry.path().extension() == ".xls" || entry.path().extension() == ".ppt") docs.push_back(entry.path());
    }
  } else {
    std::cout << "[  SKIPPED ] the public corpus is absent; only tests/data is used\n";
  }
  std::sort(docs.begin(), docs.end());
  return docs;
}

const char* const kSetStreams[] = {"SummaryInformation", "DocumentSummaryInformation"};

// The oracle's lines keyed by what they describe ("prop 0 2", "elem 0 12 1", "section 1", ...).
std::map<std::string, std::string> Keyed(const std::vector<std::string>& lines) {
  std::map<std::string, std::string> keyed;
  for (const std::string& line : lines) {
    std::istringstream in(line);
    std::string kind, word, key;
    in >> kind;
    key = kind;
    const int words = kind == "section" ? 1 : kind == "elem" ? 3 : 2;
    for (int i = 0; i < words && in >> word; ++i) key += " " + word;
    EXPECT_TRUE(keyed.emplace(key, line).second) << "two lines for " << key;
  }
  return keyed;
}

// ---- Guid ----------------------------------------------------------------------------------

TEST(GuidTest, StoredBytesHaveTheFirstThreeFieldsLittleEndian) {
  const std::array<std::uint8_t, 16> stored = {0xE0, 0x85, 0x9F, 0xF2, 0xF9, 0x4F, 0x68, 0x10,
                                               0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9};
  EXPECT_EQ(Guid::FromBytes(stored), kFmtidSummaryInformation);
  EXPECT_EQ(kFmtidSummaryInformation.ToBytes(), stored);
}

TEST(GuidTest, TextFormIsUpperCaseRegistryFormAndParsesLeniently) {
  EXPECT_EQ(kFmtidDocSummaryInformation.ToString(), "{D5CDD502-2E9C-101B-9397-08002B2CF9AE}");
  EXPECT_EQ(Guid::Parse("{D5CDD502-2E9C-101B-9397-08002B2CF9AE}"), kFmtidDocSummaryInformation);
  EXPECT_EQ(Guid::Parse("d5cdd505-2e9c-101b-9397-08002b2cf9ae"), kFmtidUserDefinedProperties);
  EXPECT_EQ(Guid::Parse("{64440492-4c8b-11D1-8B70-080036B11A03}"), kFmtidMediaFileSummaryInformation);
  for (const char* bad : {"", "{}", "{D5CDD502-2E9C-101B-9397-08002B2CF9AE", "D5CDD502-2E9C-101B-9397-08002B2CF9AE}",
                          "D5CDD502-2E9C-101B-9397-08002B2CF9A", "D5CDD502-2E9C-101B-9397-08002B2CF9AEE",
                          "D5CDD5022E9C-101B-9397-08002B2CF9AE", "D5CDD502-2E9C-101B-93970-8002B2CF9AE",
                          "G5CDD502-2E9C-101B-9397-08002B2CF9AE", "+5CDD502-2E9C-101B-9397-08002B2CF9AE"}) {
    EXPECT_EQ(Guid::Parse(bad), std::nullopt) << bad;
  }
}

PropertyValue Text(std::uint16_t type, const std::string& text) {
  PropertyValue value;
  value.type = type;
  value.text = text;
  return value;
}
PropertyValue Integer(std::uint16_t type, std::int64_t integer) {
  PropertyValue value;
  value.type = type;
  value.integer = integer;
  return value;
}

// ---- Parse ---------------------------------------------------------------------------------

Bytes SmallStream() { return HandStream({{kFmtidSummaryInformation, {{1, I2(1252)}, {2, Lpstr("Title\0"s)}}}}); }

struct Damage {
  const char* what;
  std::function<void(Bytes&)> apply;
  std::string message;  // the reason, or what it starts with
};

TEST(PropertySetParseTest, HeaderThatDoesNotFitFailsTheWholeStreamWithItsReason) {
  const Bytes good = SmallStream();
  ASSERT_TRUE(PropertySetStream::Parse(good));
  const std::vector<Damage> damages = {
      {"header cut short", [](Bytes& b) { b.resize(27); }, "the stream is shorter than a property-set header"},
      {"byte order swapped", [](Bytes& b) { b[0] = 0xFF, b[1] = 0xFE; }, "the byte order mark is 0xFEFF, not 0xFFFE"},
      {"byte order zeroed", [](Bytes& b) { b[0] = 0, b[1] = 0; }, "the byte order mark is 0x0000, not 0xFFFE"},
      {"version 2", [](Bytes& b) { b[2] = 2; }, "the stream has format version 2"},
      {"no room for the section list", [](Bytes& b) { b.resize(40); }, "the section list runs past the end of the stream"},
      {"more sections than any set has", [](Bytes& b) { le::Put32(&b[24], 1000); }, "the header claims 1000 sections"},
  };
  for (const Damage& damage : damages) {
    Bytes bytes = good;
    damage.apply(bytes);
    Result<PropertySetStream> parsed = PropertySetStream::Parse(bytes);
    ASSERT_FALSE(parsed) << damage.what;
    EXPECT_EQ(parsed.outcome().message(), damage.message) << damage.what;
  }
}

// Document summary and user-defined sections; the second one's table starts at 144.
Bytes TwoSections() {
  return HandStream({{kFmtidDocSummaryInformation, {{1, I2(1252)}, {2, Lpstr("Category\0"s)}}},
                     {kFmtidUserDefinedProperties, {{1, I2(1252)}, {5, Lpstr("mine\0"s)}}}});
}
constexpr std::size_t kSecondSection = 120;  // after the header, two list entries and the 52-byte first section

TEST(PropertySetParseTest, DamagedSectionLeavesTheOthersReadableAndIsCarriedOnlyWhenSelfContained) {
  const Bytes good = TwoSections();
  ASSERT_EQ(PropertySetStream::Parse(good)->Read(kFmtidUserDefinedProperties, 5)->text, "mine");
  const std::size_t listEntry = 28 + 20 + 16;  // the second section's offset
  struct SectionDamage {
    Damage damage;
    bool carried;  // a write elsewhere keeps the section's bytes; else it is refused
  };
  const std::vector<SectionDamage> damages = {
      {{"offset inside the header", [](Bytes& b) { le::Put32(&b[listEntry], 40); }, "section 2 starts inside the stream header"}, false},
      {{"offset past the end", [](Bytes& b) { le::Put32(&b[listEntry], static_cast<std::uint32_t>(b.size())); },
        "section 2 starts past the end of the stream"}, false},
      {{"size past the end", [](Bytes& b) { le::Put32(&b[kSecondSection], 1000); }, "section 2 runs past the end of the stream"}, false},
      {{"size below its own header", [](Bytes& b) { le::Put32(&b[kSecondSection], 4); }, "section 2 is shorter than its own header"}, false},
      {{"table past the section", [](Bytes& b) { le::Put32(&b[kSecondSection + 4], 6); },
        "section 2 has a property table that runs past its end"}, false},
      {{"huge property count", [](Bytes& b) { le::Put32(&b[kSecondSection + 4], 0xFFFFFFFF); },
        "section 2 has a property table that runs past its end"}, false},
      {{"value offset past the section", [](Bytes& b) { le::Put32(&b[kSecondSection + 20], 200); }, "section 2 lists property 5 past its end"}, false},
      {{"value offset inside the table", [](Bytes& b) { le::Put32(&b[kSecondSection + 20], 12); },
        "section 2 lists property 5 inside its property table"}, true},
  };
  for (const SectionDamage& c : damages) {
    Bytes bytes = good;
    c.damage.apply(bytes);
    Result<PropertySetStream> parsed = PropertySetStream::Parse(bytes);
    ASSERT_TRUE(parsed) << c.damage.what;
    EXPECT_TRUE(parsed->HasSection(kFmtidUserDefinedProperties)) << c.damage.what;
    EXPECT_FALSE(parsed->IsReadable(kFmtidUserDefinedProperties)) << c.damage.what;
    EXPECT_EQ(parsed->Read(kFmtidUserDefinedProperties, 1), std::nullopt) << c.damage.what;
    EXPECT_EQ(parsed->Read(kFmtidDocSummaryInformation, 2)->text, "Category") << c.damage.what;
    EXPECT_EQ(parsed->CodePage(kFmtidDocSummaryInformation), 1252u) << c.damage.what;

    const Outcome intoDamaged = parsed->Write(kFmtidUserDefinedProperties, 5, Text(kVtLpstr, "x"));
    EXPECT_EQ(intoDamaged.kind(), FailureKind::Damaged) << c.damage.what;
    EXPECT_EQ(intoDamaged.message(), c.damage.message) << c.damage.what;
    const Outcome elsewhere = parsed->Write(kFmtidDocSummaryInformation, 2, Text(kVtLpstr, "A much longer category"));
    if (c.carried) {
      ASSERT_TRUE(elsewhere) << c.damage.what << ": " << elsewhere.message();
      const Bytes after = parsed->Serialize();
      const std::uint32_t moved = le::Get16(&after[listEntry]);
      EXPECT_GT(moved, kSecondSection) << c.damage.what;
      EXPECT_EQ(Bytes(after.begin() + moved, after.end()), Bytes(bytes.begin() + kSecondSection, bytes.end())) << c.damage.what;
      EXPECT_EQ(PropertySetStream::Parse(after)->Read(kFmtidDocSummaryInformation, 2)->text, "A much longer category");
    } else {
      EXPECT_EQ(elsewhere.message(), c.damage.message) << c.damage.what;
      EXPECT_FALSE(parsed->AddSection(kOther, 1252)) << c.damage.what;
      EXPECT_EQ(parsed->Serialize(), bytes) << c.damage.what;
    }
  }
}

TEST(PropertySetParseTest, DamagedFirstSectionDoesNotHideTheSecond) {
  Bytes bytes = TwoSections();
  le::Put32(&bytes[68 + 4], 0xFFFF);  // the first section's property count
  Result<PropertySetStream> parsed = PropertySetStream::Parse(bytes);
  ASSERT_TRUE(parsed);
  EXPECT_FALSE(parsed->IsReadable(kFmtidDocSummaryInformation));
  EXPECT_EQ(parsed->Read(kFmtidUserDefinedProperties, 5)->text, "mine");
}

// A header that lists fewer sections than the stream holds: the stream is read as listed, but a
// write would overwrite the unlisted section, so none is made.
TEST(PropertySetParseTest, UnlistedSectionRefusesEveryWrite) {
  const Bytes one = SmallStream();
  Bytes listedNone = one;
  le::Put32(&listedNone[24], 0);
  Bytes listedOne = TwoSections();
  le::Put32(&listedOne[24], 1);
  Bytes pointingOutside = listedNone;
  le::Put32(&pointingOutside[44], 4000);
  Bytes zeroFmtid = listedNone;
  std::fill(zeroFmtid.begin() + 28, zeroFmtid.begin() + 44, 0);
  Bytes padded = one;
  padded.resize(4096, 0);
  Bytes empty = padded;
  le::Put32(&empty[24], 0);
  std::fill(empty.begin() + 28, empty.end(), 0);
  struct Case {
    const char* what;
    Bytes bytes;
    std::string refusal;  // empty: writes go ahead
  };
  const std::vector<Case> cases = {
      {"0 listed, one present", listedNone, "the header claims 0 sections but the stream holds one"},
      {"1 listed, two present", listedOne, "the header claims 1 section but the stream holds one more"},
      {"an entry pointing past the stream", pointingOutside, ""},
      {"an entry with no FMTID", zeroFmtid, ""},
      {"zero padding after the list", padded, ""},
      {"an empty padded stream", empty, ""},
  };
  for (const Case& c : cases) {
    Result<PropertySetStream> parsed = PropertySetStream::Parse(c.bytes);
    ASSERT_TRUE(parsed) << c.what;
    const Outcome added = parsed->AddSection(kOther, 932);
    const Outcome written = parsed->Write(kFmtidSummaryInformation, 2, Text(kVtLpstr, "new"));
    if (c.refusal.empty()) {
      EXPECT_TRUE(added) << c.what << ": " << added.message();
      EXPECT_NE(parsed->Serialize(), c.bytes) << c.what;
      continue;
    }
    EXPECT_EQ(added.kind(), FailureKind::Damaged) << c.what;
    EXPECT_EQ(added.message(), c.refusal) << c.what;
    EXPECT_EQ(written.message(), c.refusal) << c.what;
    EXPECT_EQ(parsed->Serialize(), c.bytes) << c.what;
  }
  // What the header lists still reads.
  EXPECT_EQ(PropertySetStream::Parse(listedOne)->Read(kFmtidDocSummaryInformation, 2)->text, "Category");
}

TEST(PropertySetParseTest, ValueRunningPastItsSectionReadsAsAbsentOthersStillRead) {
  Bytes bytes = HandStream({{kFmtidSummaryInformation, {{1, I2(1252)}, {3, Typed(kVtI4, {7, 0, 0, 0})},
                                                         {2, Lpstr("Title\0"s)}}}});
  le::Put32(&bytes[bytes.size() - 12], 0x7FFFFFFF);  // the string's size field
  Result<PropertySetStream> stream = PropertySetStream::Parse(bytes);
  ASSERT_TRUE(stream);
  EXPECT_EQ(stream->Read(kFmtidSummaryInformation, 2), std::nullopt);
  EXPECT_EQ(stream->Read(kFmtidSummaryInformation, 3)->integer, 7);
  EXPECT_EQ(stream->Read(kFmtidSummaryInformation, 4), std::nullopt);
  EXPECT_EQ(stream->Read(kOther, 3), std::nullopt);
}

// ---- Read ----------------------------------------------------------------------------------

TEST(PropertySetReadTest, DecodesEveryScalarTypeAndCodePageText) {
  const Bytes utf16 = {'A', 0, 0x42, 0x30, 0, 0, 'x', 0};  // "A", HIRAGANA A, NUL, junk
  Bytes wide;
  le::Append32(wide, 4);
  wide.insert(wide.end(), utf16.begin(), utf16.end());
  const Bytes guid = {0xE0, 0x85, 0x9F, 0xF2, 0xF9, 0x4F, 0x68, 0x10, 0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9};
  const Bytes stream = HandStream({{kOther,
                                    {{1, I2(0xFDE9)},
                                     {2, Lpstr("caf\xC3\xA9\0tail"s)},
                                     {3, Typed(kVtBstr, CountedBytes("b\0"s))},
                                     {4, Typed(kVtLpwstr, wide)},
                                     {5, Typed(kVtI2, {0xFE, 0xFF})},
                                     {6, Typed(kVtUi2, {0xFE, 0xFF})},
                                     {7, Typed(kVtI4, {0xFF, 0xFF, 0xFF, 0xFF})},
                                     {8, Typed(kVtUi4, {0xFF, 0xFF, 0xFF, 0xFF})},
                                     {9, Typed(kVtInt, {0xFE, 0xFF, 0xFF, 0xFF})},
                                     {10, Typed(kVtUint, {2, 0, 0, 0})},
                                     {11, Typed(kVtI1, {0x80})},
                                     {12, Typed(kVtUi1, {0x80})},
                                     {13, Typed(kVtBool, {0xFF, 0xFF})},
                                     {14, Typed(kVtError, {0x05, 0x40, 0x00, 0x80})},
                                     {15, Typed(kVtI8, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})},
                                     {16, Typed(kVtUi8, {1, 0, 0, 0, 0, 0, 0, 0x80})},
                                     {17, Typed(kVtFiletime, {0x00, 0x80, 0x3E, 0xD5, 0xDE, 0xB1, 0x9D, 0x01})},
                                     {18, Typed(kVtR4, {0, 0, 0xC0, 0x3F})},
                                     {19, Typed(kVtR8, {0, 0, 0, 0, 0, 0, 0xF8, 0x3F})},
                                     {20, Typed(kVtClsid, guid)},
                                     {21, Typed(kVtEmpty, {})},
                                     {22, Typed(kVtNull, {})},
                                     {23, Typed(kVtVector | kVtLpstr, {1, 0, 0, 0, 2, 0, 0, 0, 'a', 0})},
                                     {24, Typed(kVtBlob, {0, 0, 0, 0})}}}});
  Result<PropertySetStream> parsed = PropertySetStream::Parse(stream);
  ASSERT_TRUE(parsed);
  const auto read = [&](std::uint32_t pid) { return *parsed->Read(kOther, pid); };
  EXPECT_EQ(parsed->CodePage(kOther), 65001u);  // stored as -535 when read signed
  EXPECT_EQ(read(2).text, "caf\xC3\xA9");
  EXPECT_EQ(read(3).text, "b");
  EXPECT_EQ(read(4).text, "A\xE3\x81\x82");
  EXPECT_EQ(read(5).integer, -2);
  EXPECT_EQ(read(6).integer, 0xFFFE);
  EXPECT_EQ(read(7).integer, -1);
  EXPECT_EQ(read(8).integer, 0xFFFFFFFF);
  EXPECT_EQ(read(9).integer, -2);
  EXPECT_EQ(read(10).integer, 2);
  EXPECT_EQ(read(11).integer, -128);
  EXPECT_EQ(read(12).integer, 128);
  EXPECT_EQ(read(13).integer, -1);
  EXPECT_EQ(read(14).integer, static_cast<std::int32_t>(0x80004005));
  EXPECT_EQ(read(15).integer, -1);
  EXPECT_EQ(static_cast<std::uint64_t>(read(16).integer), 0x8000000000000001u);
  EXPECT_EQ(read(17).integer, 0x019DB1DED53E8000);
  EXPECT_EQ(read(18).real, 1.5);
  EXPECT_EQ(read(19).real, 1.5);
  EXPECT_EQ(read(20).guid, kFmtidSummaryInformation);
  EXPECT_EQ(read(21).type, kVtEmpty);
  EXPECT_EQ(read(22).type, kVtNull);
  EXPECT_EQ(read(23).type, kVtVector | kVtLpstr);
  EXPECT_EQ(read(23).text, "");
  EXPECT_EQ(read(24).type, kVtBlob);
  EXPECT_EQ(parsed->Read(kOther, kPidDictionary), std::nullopt);
}

TEST(PropertySetReadTest, TextFollowsTheSectionCodePageWith932WhenThereIsNone) {
  const std::string sjis = "\x93\xfa\x96\x7b";  // 日本 in Shift_JIS
  const std::string cp1252 = "\xe9";             // é
  const Bytes stream = HandStream({{kFmtidSummaryInformation, {{2, Lpstr(sjis + '\0')}}},
                                   {kOther, {{1, I2(1252)}, {2, Lpstr(cp1252 + '\0')}}}});
  Result<PropertySetStream> parsed = PropertySetStream::Parse(stream);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->CodePage(kFmtidSummaryInformation), 932u);
  EXPECT_EQ(parsed->Read(kFmtidSummaryInformation, 2)->text, "\xE6\x97\xA5\xE6\x9C\xAC");
  EXPECT_EQ(parsed->Read(kOther, 2)->text, "\xC3\xA9");
  // Written into, the section without a code page says which one its strings are in.
  ASSERT_TRUE(parsed->Write(kFmtidSummaryInformation, 3, Text(kVtLpstr, "\xE6\x97\xA5")));
  Result<PropertySetStream> reread = PropertySetStream::Parse(parsed->Serialize());
  ASSERT_TRUE(reread);
  const std::optional<PropertyValue> codePage = reread->Read(kFmtidSummaryInformation, kPidCodePage);
  ASSERT_TRUE(codePage);
  EXPECT_EQ(codePage->type, kVtI2);
  EXPECT_EQ(codePage->integer, 932);
  EXPECT_EQ(reread->Read(kFmtidSummaryInformation, 2)->text, "\xE6\x97\xA5\xE6\x9C\xAC");
}

// A first section whose identifier has its first three fields byte-swapped is read as the set it
// names, as olefile reads the first section whatever its identifier; a change keeps it as stored.
TEST(PropertySetReadTest, AByteSwappedIdentifierOfTheFirstSectionIsThatSet) {
  const Guid& summary = kFmtidSummaryInformation;
  const Guid swapped{__builtin_bswap32(summary.data1), __builtin_bswap16(summary.data2), __builtin_bswap16(summary.data3),
                     summary.data4};
  Result<PropertySetStream> parsed = PropertySetStream::Parse(HandStream({{swapped, {{1, I2(1252)}, {2, Lpstr("old\0"s)}}}}));
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->Read(summary, 2)->text, "old");
  ASSERT_TRUE(parsed->Write(summary, 2, Text(kVtLpstr, "new")));
  const Bytes written = parsed->Serialize();
  const auto stored = swapped.ToBytes();
  EXPECT_TRUE(std::equal(stored.begin(), stored.end(), written.begin() + 28)) << "the identifier as stored";
  EXPECT_EQ(PropertySetStream::Parse(written)->Read(summary, 2)->text, "new");
  EXPECT_FALSE(PropertySetStream::Parse(HandStream({{kOther, {}}, {swapped, {}}}))->HasSection(summary))
      << "only the first section";
}

// ---- Write, Create, Serialize on hand-made streams -------------------------------------------

TEST(PropertySetWriteTest, StoresEachWritableTypeInItsExactLayout) {
  const Bytes original = HandStream({{kOther, {{1, I2(1252)}, {2, Lpstr("old\0"s)}}}});
  Result<PropertySetStream> stream = PropertySetStream::Parse(original);
  ASSERT_TRUE(stream);
  ASSERT_TRUE(stream->Write(kOther, 2, Text(kVtLpstr, "caf\xC3\xA9")));
  ASSERT_TRUE(stream->Write(kOther, 3, Text(kVtLpwstr, "\xE3\x81\x82")));
  ASSERT_TRUE(stream->Write(kOther, 4, Integer(kVtInt, -2)));
  ASSERT_TRUE(stream->Write(kOther, 5, Integer(kVtFiletime, 0x0102030405060708)));
  ASSERT_TRUE(stream->Write(kOther, 6, Integer(kVtNull, 0)));
  const Bytes expected =
      HandStream({{kOther,
                   {{1, I2(1252)},
                    {2, Lpstr("caf\xE9\0"s)},
                    {3, Typed(kVtLpwstr, {2, 0, 0, 0, 0x42, 0x30, 0, 0})},
                    {4, Typed(kVtInt, {0xFE, 0xFF, 0xFF, 0xFF})},
                    {5, Typed(kVtFiletime, {8, 7, 6, 5, 4, 3, 2, 1})},
                    {6, Typed(kVtNull, {})}}}});
  Bytes serialized = stream->Serialize();
  EXPECT_EQ(serialized, expected);
}

// The section starts at 48; its table at 56 lists values at 32, 40 and 52 (pids 1, 2, 3).
Bytes ThreeValues() { return HandStream({{kOther, {{1, I2(1252)}, {2, Lpstr("abc\0"s)}, {3, Lpstr("xyz\0"s)}}}}); }

TEST(PropertySetWriteTest, RefusesWhatItCannotStoreExactlyAndChangesNothing) {
  const Bytes plain = HandStream({{kOther, {{1, I2(1252)}, {2, Lpstr("abc\0"s)}}}});
  Bytes cutOff = plain;
  le::Put32(&cutOff[48 + 36], 100);  // pid 2's string runs past the section end
  Bytes overlapping = ThreeValues();
  le::Put32(&overlapping[48 + 44], 12);  // pid 2's string runs into pid 3's value
  Bytes twice = ThreeValues();
  le::Put32(&twice[48 + 24], 2);  // pid 3 listed as a second pid 2
  struct Case {
    const char* what;
    Bytes stream;
    std::uint32_t pid;
    PropertyValue value;
    FailureKind kind;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"a value cut off by the section end", cutOff, 4, Integer(kVtInt, 1), FailureKind::Damaged,
       "section 1: the value of property 2 runs past its bytes"},
      {"a value overlapping the next", overlapping, 4, Integer(kVtInt, 1), FailureKind::Damaged,
       "section 1: the value of property 2 runs past its bytes"},
      {"a pid listed twice", twice, 4, Integer(kVtInt, 1), FailureKind::Unsupported, "section 1: property 2 is listed twice"},
      {"absent section", HandStream({{kFmtidSummaryInformation, {{1, I2(1252)}}}}), 2, Text(kVtLpstr, "a"),
       FailureKind::Unsupported, "the stream has no section {12345678-9ABC-DEF0-0102-030405060708}"},
      {"the code page itself", plain, kPidCodePage, Integer(kVtInt, 1252), FailureKind::Unsupported,
       "section 1: property 1 describes the other values and is not set alone"},
      {"the dictionary", plain, kPidDictionary, Integer(kVtNull, 0), FailureKind::Unsupported,
       "section 1: property 0 describes the other values and is not set alone"},
      {"a type Write does not set", plain, 2, Integer(kVtBlob, 1), FailureKind::Unsupported,
       "property 2: values of type 65 are not written"},
      {"VT_INT beyond 32 bits", plain, 4, Integer(kVtInt, 0x100000000), FailureKind::InvalidValue,
       "property 4: the number 4294967296 does not fit in 32 bits"},
      {"text that is not UTF-8", plain, 2, Text(kVtLpstr, "\xC3"), FailureKind::InvalidValue,
       "property 2: the text is not valid UTF-8"},
      {"wide text that is not UTF-8", plain, 2, Text(kVtLpwstr, "\xFF"), FailureKind::InvalidValue,
       "property 2: the text is not valid UTF-8"},
  };
  for (const Case& c : cases) {
    Result<PropertySetStream> stream = PropertySetStream::Parse(c.stream);
    ASSERT_TRUE(stream) << c.what;
    const Outcome written = stream->Write(kOther, c.pid, c.value);
    EXPECT_EQ(written.kind(), c.kind) << c.what;
    EXPECT_EQ(written.message(), c.message) << c.what;
    EXPECT_EQ(stream->Serialize(), c.stream) << c.what;
  }
}

TEST(PropertySetWriteTest, OffsetsInAnyOrderOrSharedAreRewrittenKeepingEveryValue) {
  Bytes unsorted = ThreeValues();
  le::Put32(&unsorted[48 + 8], 3);  // the same values, listed last to first
  le::Put32(&unsorted[48 + 12], 52);
  le::Put32(&unsorted[48 + 24], 1);
  le::Put32(&unsorted[48 + 28], 32);
  Bytes shared = ThreeValues();
  le::Put32(&shared[48 + 28], 40);  // pid 3 at pid 2's offset
  Bytes middleFirst = ThreeValues();  // pid 2's value listed first
  le::Put32(&middleFirst[48 + 8], 2);
  le::Put32(&middleFirst[48 + 12], 40);
  le::Put32(&middleFirst[48 + 16], 1);
  le::Put32(&middleFirst[48 + 20], 32);
  struct Case {
    const char* what;
    Bytes stream;
    std::map<std::uint32_t, std::string> texts;  // pid -> text, before and after
  };
  const std::vector<Case> cases = {
      {"last to first", unsorted, {{2, "abc"}, {3, "xyz"}}},
      {"shared", shared, {{2, "abc"}, {3, "abc"}}},
      {"middle first", middleFirst, {{2, "abc"}, {3, "xyz"}}},
  };
  for (const Case& c : cases) {
    Result<PropertySetStream> stream = PropertySetStream::Parse(c.stream);
    ASSERT_TRUE(stream) << c.what;
    for (const auto& [pid, text] : c.texts) EXPECT_EQ(stream->Read(kOther, pid)->text, text) << c.what;
    for (const auto& [pid, value] : {std::pair{4u, Integer(kVtInt, 7)}, std::pair{2u, Text(kVtLpstr, "a longer text")}}) {
      const Outcome written = stream->Write(kOther, pid, value);
      ASSERT_TRUE(written) << c.what << ": " << written.message();
    }
    Result<PropertySetStream> reread = PropertySetStream::Parse(stream->Serialize());
    ASSERT_TRUE(reread) << c.what;
    EXPECT_EQ(reread->CodePage(kOther), 1252u) << c.what;
    EXPECT_EQ(reread->Read(kOther, 4)->integer, 7) << c.what;
    EXPECT_EQ(reread->Read(kOther, 2)->text, "a longer text") << c.what;
    EXPECT_EQ(reread->Read(kOther, 3)->text, c.texts.at(3)) << c.what;
  }
}

TEST(PropertySetWriteTest, HoldsTellsAValueThatWouldChangeNothing) {
  const Bytes bytes = HandStream({{kOther,
                                   {{1, I2(1252)},
                                    {2, Lpstr("caf\xE9\0tail"s)},
                                    {3, Lpstr("\x81\0"s)},
                                    {4, Typed(kVtInt, {0xFE, 0xFF, 0xFF, 0xFF})},
                                    {5, Typed(kVtFiletime, {8, 7, 6, 5, 4, 3, 2, 1})},
                                    {6, Typed(kVtNull, {})},
                                    {7, Typed(kVtLpwstr, {2, 0, 0, 0, 0x42, 0x30, 0, 0})}}}});
  const PropertySetStream stream = *PropertySetStream::Parse(bytes);
  struct Case {
    std::uint32_t pid;
    PropertyValue value;
    bool holds;
  };
  const std::vector<Case> cases = {
      {2, Text(kVtLpstr, "caf\xC3\xA9"), true},
      {2, Text(kVtLpstr, "caf\xC3\xA9\0other"s), true},  // cut at the NUL, as it reads
      {2, Text(kVtLpwstr, "caf\xC3\xA9"), false},        // same text, another type
      {2, Text(kVtLpstr, "cafe"), false},
      {3, Text(kVtLpstr, "\xEF\xBF\xBD"), false},  // shows as U+FFFD but is no text of 1252
      {4, Integer(kVtInt, -2), true},
      {4, Integer(kVtInt, 2), false},
      {5, Integer(kVtFiletime, 0x0102030405060708), true},
      {6, Integer(kVtNull, 0), true},
      {7, Text(kVtLpwstr, "\xE3\x81\x82"), true},
      {8, Integer(kVtNull, 0), false},  // absent
  };
  for (const Case& c : cases) EXPECT_EQ(stream.Holds(kOther, c.pid, c.value), c.holds) << "pid " << c.pid;
  EXPECT_FALSE(stream.Holds(kFmtidSummaryInformation, 2, Text(kVtLpstr, "caf\xC3\xA9")));
}

const std::string kJapanese = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E";  // 日本語

TEST(PropertySetWriteTest, RefusesTheSwitchToUtf16WhenAStringCannotBeCarriedOver) {
  Bytes variantWithEmpty;
  le::Append32(variantWithEmpty, 2);
  le::Append32(variantWithEmpty, kVtEmpty);
  le::Append32(variantWithEmpty, kVtLpstr);
  le::Append32(variantWithEmpty, 0);
  struct Case {
    const char* what;
    Bytes value;
  };
  const std::vector<Case> cases = {
      {"a byte 1252 does not define", Lpstr("\x81\0"s)},
      {"a vector of variants with an element of no length", Typed(kVtVector | kVtVariant, variantWithEmpty)},
      {"a vector of strings running past its value", Typed(kVtVector | kVtLpstr, {2, 0, 0, 0, 1, 0, 0, 0, 0})},
      {"an array of strings", Typed(kVtArray | kVtLpstr, {0, 0, 0, 0})},
      {"a stream name", Typed(kVtStream, CountedBytes("s\0"s))},
      {"a versioned stream", Typed(kVtVersionedStream, Bytes(20, 0))},
      {"an unknown type", Typed(0x0FFF, {0, 0, 0, 0})},
  };
  for (const Case& c : cases) {
    const Bytes bytes = HandStream({{kOther, {{1, I2(1252)}, {2, Lpstr("plain\0"s)}, {3, c.value}}}});
    Result<PropertySetStream> stream = PropertySetStream::Parse(bytes);
    ASSERT_TRUE(stream) << c.what;
    const Outcome written = stream->Write(kOther, 2, Text(kVtLpstr, kJapanese));
    EXPECT_EQ(written.kind(), FailureKind::Unsupported) << c.what;
    EXPECT_EQ(written.message(), "section 1: property 3 holds text that cannot be carried from code page 1252 to UTF-16 exactly")
        << c.what;
    EXPECT_EQ(stream->Serialize(), bytes) << c.what;
    EXPECT_TRUE(stream->Write(kOther, 2, Text(kVtLpstr, "caf\xC3\xA9"))) << c.what << ": 1252 text still fits";
  }
  struct CodePageCase {
    const char* what;
    Bytes stream;
    std::string text;
    std::string message;
  };
  const std::vector<CodePageCase> codePages = {
      {"a code page property that is no VT_I2", HandStream({{kOther, {{1, Typed(kVtI4, {0xE4, 4, 0, 0})}}}}), "plain",
       "section 1: the code page property is not a VT_I2"},
      {"a code page iconv does not know", HandStream({{kOther, {{1, I2(1220)}}}}), kJapanese,
       "section 1: code page 1220 is unknown, so its strings cannot be converted"},
      {"UTF-16BE", HandStream({{kOther, {{1, I2(1201)}}}}), "plain", "section 1: strings in code page 1201 are not written"},
      {"broken UTF-8 into a UTF-8 set", HandStream({{kOther, {{1, I2(65001)}}}}), "\xF0\x9F\x98",
       "property 2: the text is not valid UTF-8"},
  };
  for (const CodePageCase& c : codePages) {
    Result<PropertySetStream> stream = PropertySetStream::Parse(c.stream);
    ASSERT_TRUE(stream) << c.what;
    EXPECT_EQ(stream->Write(kOther, 2, Text(kVtLpstr, c.text)).message(), c.message) << c.what;
    EXPECT_EQ(stream->Serialize(), c.stream) << c.what;
  }
}

TEST(PropertySetCreateTest, NewStreamHoldsOnlyTheCodePageAndKeepsSectionOrder) {
  PropertySetStream stream = PropertySetStream::Create(kFmtidUserDefinedProperties, 932);
  stream.AddSection(kFmtidDocSummaryInformation, 1252);
  stream.AddSection(kFmtidDocSummaryInformation, 65001);  // present already: no change
  const Bytes expected = [] {
    Bytes b = HandStream({{kFmtidDocSummaryInformation, {{1, I2(1252)}}}, {kFmtidUserDefinedProperties, {{1, I2(932)}}}});
    const auto clsid = kFmtidUserDefinedProperties.ToBytes();  // the class id is the FMTID it was created for
    std::copy(clsid.begin(), clsid.end(), b.begin() + 8);
    return b;
  }();
  EXPECT_EQ(stream.Serialize(), expected);
  EXPECT_EQ(stream.CodePage(kFmtidDocSummaryInformation), 1252u);
  EXPECT_EQ(stream.CodePage(kFmtidUserDefinedProperties), 932u);
}

TEST(PropertySetSerializeTest, KeepsThePaddedLengthAndUnchangedBytes) {
  Bytes padded = SmallStream();
  const std::size_t used = padded.size();
  padded.resize(4096, 0);
  Result<PropertySetStream> stream = PropertySetStream::Parse(padded);
  ASSERT_TRUE(stream);
  EXPECT_EQ(stream->Serialize(), padded);
  ASSERT_TRUE(stream->Write(kFmtidSummaryInformation, 2, Text(kVtLpstr, "Another title")));
  Bytes written = stream->Serialize();
  EXPECT_EQ(written.size(), 4096u);
  EXPECT_EQ(std::vector(written.begin() + 48 + 36, written.begin() + 48 + 40), (Bytes{14, 0, 0, 0}));
  EXPECT_TRUE(std::all_of(written.begin() + static_cast<long>(used) + 8, written.end(), [](auto b) { return b == 0; }));
}

// ---- real streams, checked against the independent reader ---------------------------------------

// The bytes of section `index` as the stream's header places them.
Bytes SectionBytes(const Bytes& stream, std::size_t index) {
  const auto load = [&](std::size_t at) { return le::Get32(&stream[at]); };
  const std::uint32_t offset = load(28 + 20 * index + 16);
  return Bytes(stream.begin() + offset, stream.begin() + offset + load(offset));
}

std::size_t SectionCount(const Bytes& stream) { return stream[24]; }

struct RealStream {
  std::string name;  // file and stream, for messages
  Bytes bytes;
};

class RealStreamTest : public OracleTest {
 protected:
  std::vector<RealStream> Streams(bool office = true) {
    std::vector<RealStream> streams;
    for (const fs::path& doc : Documents(office)) {
      for (const char* set : kSetStreams) {
        std::optional<Bytes> bytes = Extract(doc, set);
        if (!bytes) continue;
        const std::string name = doc.filename().string() + " " + set;
        // Compared with the oracle only where it reads the set (one has a section that runs past
        // the stream's end; the storage tests cover it).
        if (!OracleReads(*bytes)) {
          std::cout << "the oracle does not read " << name << "\n";
          continue;
        }
        streams.push_back({name, *bytes});
      }
    }
    return streams;
  }
};

TEST_F(RealStreamTest, EveryStreamParsesReadsLikeTheOracleAndSerializesUnchanged) {
  int parsed = 0;
  for (const RealStream& real : Streams()) {
    Result<PropertySetStream> stream = PropertySetStream::Parse(real.bytes);
    if (!stream) {
      std::cout << "not parsed (damaged): " << real.name << "\n";
      continue;
    }
    ++parsed;
    EXPECT_EQ(stream->Serialize(), real.bytes) << real.name;
    ExpectReadsLikeOracle(*stream, real.bytes, real.name);
  }
  EXPECT_GE(parsed, 23);  // both sets of every tests/data document but poi-no-dsi.doc's missing one
}

TEST_F(RealStreamTest, WritingOnePropertyChangesExactlyThatProperty) {
  struct Change {
    std::uint32_t pid;
    PropertyValue value;
    std::string expectedLine;  // after "prop 0 <pid> "
  };
  const std::vector<Change> changes = {
      {2, Text(kVtLpstr, "Kestrel wrote this"), "30 " + Hex("Kestrel wrote this")},
      {2, Text(kVtLpwstr, "Wide " + kJapanese), "31 " + Hex("Wide " + kJapanese)},
      {13, Integer(kVtFiletime, 132617781300000000), "64 132617781300000000"},
      {0x4000, Integer(kVtInt, -5), "22 -5"},
      {14, Integer(kVtNull, 0), "1 -"},
  };
  int written = 0;
  for (const RealStream& real : Streams(false)) {
    Result<PropertySetStream> original = PropertySetStream::Parse(real.bytes);
    if (!original || SectionCount(real.bytes) == 0) continue;
    const std::vector<std::string> beforeLines = Dump(real.bytes);
    const Guid fmtid = *Guid::Parse(beforeLines.front().substr(10, 36));
    for (const Change& change : changes) {
      PropertySetStream stream = *original;
      if (!stream.Write(fmtid, change.pid, change.value)) {
        std::cout << "write refused: " << real.name << " pid " << change.pid << "\n";
        EXPECT_EQ(stream.Serialize(), real.bytes) << real.name;
        continue;
      }
      ++written;
      const Bytes after = stream.Serialize();
      EXPECT_GE(after.size(), real.bytes.size()) << real.name;
      std::map<std::string, std::string> before = Keyed(beforeLines);
      const std::string key = "prop 0 " + std::to_string(change.pid);
      before[key] = key + " " + change.expectedLine;
      EXPECT_EQ(Keyed(Dump(after)), before) << real.name << " pid " << change.pid;
      for (std::size_t s = 1; s < SectionCount(real.bytes); ++s) {
        EXPECT_EQ(SectionBytes(after, s), SectionBytes(real.bytes, s)) << real.name << " section " << s;
      }
    }
  }
  EXPECT_GE(written, 100);
}

// Text no single-byte code page nor Shift_JIS holds: every such set must switch to UTF-16.
const std::string kNeedsUnicode = kJapanese + " \xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4";  // 日本語 한국어

TEST_F(RealStreamTest, SwitchToUtf16KeepsEveryStringOfTheSection) {
  int switched = 0;
  for (const RealStream& real : Streams()) {
    Result<PropertySetStream> stream = PropertySetStream::Parse(real.bytes);
    if (!stream || SectionCount(real.bytes) == 0) continue;
    const std::vector<std::string> beforeLines = Dump(real.bytes, true);
    const Guid fmtid = *Guid::Parse(beforeLines.front().substr(10, 36));
    const unsigned codePage = *stream->CodePage(fmtid);
    if (codePage == 65001 || codePage == 1200) continue;
    if (!stream->Write(fmtid, 2, Text(kVtLpstr, kNeedsUnicode))) {
      std::cout << "switch refused: " << real.name << " (code page " << codePage << ")\n";
      EXPECT_EQ(stream->Serialize(), real.bytes);
      continue;
    }
    ++switched;
    const Bytes after = stream->Serialize();
    std::map<std::string, std::string> expected = Keyed(beforeLines);
    expected["section 0"] = "section 0 " + beforeLines.front().substr(10, 36) + " 1200";
    expected["prop 0 1"] = "prop 0 1 2 1200";
    expected["prop 0 2"] = "prop 0 2 30 " + Hex(kNeedsUnicode);
    EXPECT_EQ(Keyed(Dump(after, true)), expected) << real.name;
    for (std::size_t s = 1; s < SectionCount(real.bytes); ++s) {
      EXPECT_EQ(SectionBytes(after, s), SectionBytes(real.bytes, s)) << real.name << " section " << s;
    }
  }
  // Word's 1252/1251/1250/10000 sets and POI's 932/1252 ones.
  EXPECT_GE(switched, 10);
}

// Apache POI's HPSF reader (tests/oracle/PropsetPoi.java) compiled into `work`: the command to
// run it, or nullopt with the reason printed when javac or POI is absent.
std::optional<std::string> PoiReader(const fs::path& work) {
  const std::string classPath = "/usr/share/java/poi.jar:/usr/share/java/commons-collections4.jar";
  if (test::RunCommand("command -v javac && command -v java").exitCode != 0 || !fs::exists("/usr/share/java/poi.jar")) {
    std::cout << "[  SKIPPED ] Apache POI or javac is not installed (scripts/setup.sh test installs libapache-poi-java and default-jdk-headless)\n";
    return std::nullopt;
  }
  const test::CommandResult compiled =
      test::RunCommand("javac -cp " + classPath + " -d " + test::ShellQuote(work.string()) + " " +
                       test::ShellQuote(test::TestScript("oracle/PropsetPoi.java").string()));
  EXPECT_EQ(compiled.exitCode, 0) << compiled.output;
  if (compiled.exitCode != 0) return std::nullopt;
  return "java -cp " + classPath + ":" + test::ShellQuote(work.string()) + " PropsetPoi";
}

// POI's lines for each stream, in the order given.
std::vector<std::vector<std::string>> PoiDump(const std::string& reader, const std::vector<fs::path>& files) {
  std::string command = reader;
  for (const fs::path& file : files) command += " " + test::ShellQuote(file.string());
  const test::CommandResult result = test::RunCommand(command);
  EXPECT_EQ(result.exitCode, 0) << result.output;
  std::vector<std::vector<std::string>> dumps;
  for (const std::string& line : Lines(result.output)) {
    if (line.starts_with("file ")) {
      dumps.emplace_back();
    } else if (!dumps.empty() && !line.starts_with("SLF4J")) {
      dumps.back().push_back(line);
    }
  }
  EXPECT_EQ(dumps.size(), files.size()) << result.output;
  dumps.resize(files.size());
  return dumps;
}

// What a switch must leave alone as POI shows it: every line but the section's code page, its
// code page property, the property written and vectors (POI gives their raw bytes, which the switch
// converts; the olefile reader checks their elements).
std::map<std::string, std::string> PoiUnchanged(const std::vector<std::string>& lines, std::uint32_t writtenPid) {
  std::map<std::string, std::string> kept = Keyed(lines);
  kept.erase("section 0");
  kept.erase("prop 0 1");
  kept.erase("prop 0 " + std::to_string(writtenPid));
  std::erase_if(kept, [](const auto& entry) {
    std::istringstream words(entry.second);
    std::string kind, section, pid;
    unsigned type = 0;
    words >> kind >> section >> pid >> type;
    return kind == "prop" && section == "0" && (type & kVtVector) != 0;
  });
  return kept;
}

TEST_F(RealStreamTest, SwitchToUtf16ReadsTheSameInApachePoi) {
  std::optional<std::string> reader = PoiReader(dir_.Path());
  if (!reader) GTEST_SKIP() << "Apache POI is not installed";
  const std::uint32_t pid = 2;
  std::vector<fs::path> before, after;
  std::vector<std::string> names;
  for (const RealStream& real : Streams()) {
    Result<PropertySetStream> stream = PropertySetStream::Parse(real.bytes);
    if (!stream || SectionCount(real.bytes) == 0) continue;
    const Guid fmtid = *Guid::Parse(Dump(real.bytes).front().substr(10, 36));
    const unsigned codePage = *stream->CodePage(fmtid);
    if (codePage == 65001 || codePage == 1200 || !stream->Write(fmtid, pid, Text(kVtLpstr, kNeedsUnicode))) continue;
    names.push_back(real.name);
    before.push_back(dir_.Path() / ("poi-before" + std::to_string(names.size())));
    after.push_back(dir_.Path() / ("poi-after" + std::to_string(names.size())));
    test::WriteBytes(before.back(), real.bytes);
    test::WriteBytes(after.back(), stream->Serialize());
  }
  ASSERT_GE(names.size(), 10u);
  const std::vector<std::vector<std::string>> oldLines = PoiDump(*reader, before);
  const std::vector<std::vector<std::string>> newLines = PoiDump(*reader, after);
  for (std::size_t i = 0; i < names.size(); ++i) {
    ASSERT_FALSE(newLines[i].empty()) << names[i];
    const std::map<std::string, std::string> keyed = Keyed(newLines[i]);
    EXPECT_TRUE(keyed.at("section 0").ends_with(" 1200")) << names[i];
    EXPECT_EQ(keyed.at("prop 0 2"), "prop 0 2 30 " + Hex(kNeedsUnicode)) << names[i];
    EXPECT_EQ(PoiUnchanged(newLines[i], pid), PoiUnchanged(oldLines[i], pid)) << names[i];
  }
}

// A section with a string in every place a code-page string can be, in code page `codePage`;
// `encode` gives a UTF-8 text's stored bytes, terminator included. Vector elements laid end to end
// (as Word does) or each padded to 4 bytes; dictionary names counted in bytes and unpadded, or
// (code page 1200) counted in characters with every entry padded.
Bytes EveryStringPlace(std::uint16_t codePage, const std::function<std::string(const std::string&)>& encode, bool padded) {
  const bool wide = codePage == 1200;
  const auto element = [&](Bytes& out, const std::string& text) {
    const Bytes counted = CountedBytes(encode(text));
    out.insert(out.end(), counted.begin(), counted.end());
    while (padded && out.size() % 4 != 0) out.push_back(0);
  };
  const auto name = [&](Bytes& out, std::uint32_t pid, const std::string& text) {
    le::Append32(out, pid);
    const std::string stored = encode(text);
    le::Append32(out, static_cast<std::uint32_t>(wide ? stored.size() / 2 : stored.size()));
    out.insert(out.end(), stored.begin(), stored.end());
    while (wide && out.size() % 4 != 0) out.push_back(0);
  };
  const std::string cafe = "caf\xC3\xA9", naive = "na\xC3\xAFve";
  Bytes dictionary;
  le::Append32(dictionary, 2);
  name(dictionary, 2, cafe);
  name(dictionary, 3, naive);
  while (dictionary.size() % 4 != 0) dictionary.push_back(0);
  Bytes strings;
  le::Append32(strings, 2);
  element(strings, cafe);
  element(strings, "x");
  Bytes variants;
  le::Append32(variants, 4);
  le::Append32(variants, kVtLpstr);
  element(variants, "Titre " + cafe);
  le::Append32(variants, kVtI4);
  le::Append32(variants, 1);
  le::Append32(variants, kVtBstr);
  element(variants, naive);
  le::Append32(variants, kVtI2);
  le::Append16(variants, 7);
  return HandStream({{kOther,
                      {{0, dictionary},
                       {1, I2(codePage)},
                       {2, Typed(kVtLpstr, CountedBytes(encode(cafe)))},
                       {3, Typed(kVtLpwstr, {2, 0, 0, 0, 0x42, 0x30, 0, 0})},
                       {4, Typed(kVtVector | kVtLpstr, strings)},
                       {5, Typed(kVtVector | kVtVariant, variants)},
                       {6, Typed(kVtBstr, CountedBytes(encode(naive)))},
                       {7, Typed(kVtBlob, {2, 0, 0, 0, 0xE9, 0})}}}});
}

// The stored form of a text in a code page, with its terminator (two bytes in UTF-16).
std::function<std::string(const std::string&)> StoredIn(unsigned codePage) {
  return [codePage](const std::string& utf8) {
    return *text::FromUtf8(utf8, codePage) + std::string(codePage == 1200 ? 2 : 1, '\0');
  };
}

TEST(PropertySetWriteTest, SwitchStoresTheSectionExactlyAsCodePage1200LaysItOut) {
  for (bool padded : {false, true}) {
    const Bytes bytes = EveryStringPlace(1252, StoredIn(1252), padded);
    Result<PropertySetStream> stream = PropertySetStream::Parse(bytes);
    ASSERT_TRUE(stream);
    const Outcome written = stream->Write(kOther, 8, Text(kVtLpstr, kJapanese));
    ASSERT_TRUE(written) << written.message();

    // Exactly the same section written in UTF-16 from the start, plus the new property: its
    // byte count holds the 2-byte terminator and the value is padded to 4 bytes.
    Bytes expected = EveryStringPlace(1200, StoredIn(1200), padded);
    const Bytes japanese = {0xE5, 0x65, 0x2C, 0x67, 0x9E, 0x8A, 0, 0};
    Bytes value = {kVtLpstr, 0, 0, 0, 8, 0, 0, 0};
    value.insert(value.end(), japanese.begin(), japanese.end());
    const std::size_t sectionAt = 48;
    Bytes section(expected.begin() + sectionAt, expected.end());
    const auto load = [&](std::size_t at) { return le::Get32(&section[at]); };
    const std::uint32_t count = load(4);
    Bytes rebuilt(section.begin(), section.begin() + 8 + 8 * count);
    le::Put32(&rebuilt[4], count + 1);
    Bytes entry;
    le::Append32(entry, 8);
    le::Append32(entry, 0);
    rebuilt.insert(rebuilt.end(), entry.begin(), entry.end());
    for (std::uint32_t i = 0; i < count; ++i) le::Put32(&rebuilt[12 + 8 * i], load(12 + 8 * i) + 8);
    rebuilt.insert(rebuilt.end(), section.begin() + 8 + 8 * count, section.end());
    le::Put32(&rebuilt[8 + 8 * count + 4], static_cast<std::uint32_t>(rebuilt.size()));
    rebuilt.insert(rebuilt.end(), value.begin(), value.end());
    le::Put32(&rebuilt[0], static_cast<std::uint32_t>(rebuilt.size()));
    expected.resize(sectionAt);
    expected.insert(expected.end(), rebuilt.begin(), rebuilt.end());
    EXPECT_EQ(stream->Serialize(), expected) << "padded " << padded;
  }
}

TEST(PropertySetWriteTest, NewAndUnicodeSectionsKeepTheirCodePage) {
  const std::string korean = "\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4";  // 한국어
  struct Case {
    const char* what;
    Bytes stream;
    std::string text;
    unsigned codePage;  // after the write
  };
  const std::vector<Case> cases = {
      {"932 holds Japanese", HandStream({{kOther, {{1, I2(932)}}}}), kJapanese, 932},
      {"932 cannot hold Korean", HandStream({{kOther, {{1, I2(932)}}}}), korean, 1200},
      {"a new stream", PropertySetStream::Create(kOther, 932).Serialize(), korean, 1200},
      {"a new stream, text 932 holds", PropertySetStream::Create(kOther, 932).Serialize(), kJapanese, 932},
      {"no code page property, read as 932", HandStream({{kOther, {{2, Lpstr("\x93\xfa\0"s)}}}}), korean, 1200},
      {"65001 stays", HandStream({{kOther, {{1, I2(65001)}, {2, Lpstr("caf\xC3\xA9\0"s)}}}}), korean, 65001},
      {"1200 stays", HandStream({{kOther, {{1, I2(1200)}}}}), korean, 1200},
  };
  for (const Case& c : cases) {
    Result<PropertySetStream> stream = PropertySetStream::Parse(c.stream);
    ASSERT_TRUE(stream) << c.what;
    const std::string before = stream->Read(kOther, 2) ? stream->Read(kOther, 2)->text : "";
    ASSERT_TRUE(stream->Write(kOther, 3, Text(kVtLpstr, c.text))) << c.what;
    Result<PropertySetStream> reread = PropertySetStream::Parse(stream->Serialize());
    EXPECT_EQ(reread->CodePage(kOther), c.codePage) << c.what;
    EXPECT_EQ(reread->Read(kOther, 3)->text, c.text) << c.what;
    if (!before.empty()) {
      EXPECT_EQ(reread->Read(kOther, 2)->text, before) << c.what;
    }
  }
}

TEST_F(OracleTest, SwitchCarriesOverDictionaryNamesAndVectorsTheOracleReads) {
  const Bytes bytes = EveryStringPlace(1252, StoredIn(1252), false);
  Result<PropertySetStream> stream = PropertySetStream::Parse(bytes);
  ASSERT_TRUE(stream);
  ASSERT_TRUE(stream->Write(kOther, 8, Text(kVtLpstr, kJapanese)));
  // The oracle walks vectors the way Word lays them out.
  std::map<std::string, std::string> keyed = Keyed(Dump(bytes, true));
  EXPECT_EQ(keyed.count("elem 0 5 3"), 1u);
  EXPECT_EQ(keyed.count("dict 0 3"), 1u);
  keyed["section 0"] = "section 0 12345678-9abc-def0-0102-030405060708 1200";
  keyed["prop 0 1"] = "prop 0 1 2 1200";
  keyed["prop 0 8"] = "prop 0 8 30 " + Hex(kJapanese);
  EXPECT_EQ(Keyed(Dump(stream->Serialize(), true)), keyed);
}

// ---- custom properties: the dictionary, removals, sections ---------------------------------

// A document summary section and a user-defined one in `codePage` naming pids 2 and 3.
Bytes CustomStream(unsigned codePage) {
  const auto stored = StoredIn(codePage);
  const bool wide = codePage == 1200;
  Bytes dictionary;
  le::Append32(dictionary, 2);
  for (const auto& [pid, name] : std::vector<std::pair<std::uint32_t, std::string>>{{2, "Alpha"}, {3, "ベータ"}}) {
    const std::string bytes = stored(name);
    le::Append32(dictionary, pid);
    le::Append32(dictionary, static_cast<std::uint32_t>(wide ? bytes.size() / 2 : bytes.size()));
    dictionary.insert(dictionary.end(), bytes.begin(), bytes.end());
    if (wide) dictionary.resize((dictionary.size() + 3) / 4 * 4, 0);
  }
  dictionary.resize((dictionary.size() + 3) / 4 * 4, 0);
  Bytes four;
  le::Append32(four, 7);
  return HandStream({{kFmtidDocSummaryInformation, {{1, I2(932)}, {2, Lpstr("Cat\0"s)}}},
                     {kFmtidUserDefinedProperties,
                      {{0, dictionary}, {1, I2(static_cast<std::uint16_t>(codePage))},
                       {2, Typed(kVtLpstr, CountedBytes(stored("a")))}, {3, Typed(kVtI4, four)}}}});
}

PropertyValue Real(double real) {
  PropertyValue value;
  value.type = kVtR8;
  value.real = real;
  return value;
}

TEST_F(OracleTest, CustomSectionEditsReadAsTheOracleReadsThem) {
  const Guid& custom = kFmtidUserDefinedProperties;
  const std::string kDsiLines = "section 0 d5cdd502-2e9c-101b-9397-08002b2cf9ae 932";
  struct Case {
    const char* what;
    unsigned codePage;
    std::function<Outcome(PropertySetStream&)> edit;
    std::map<std::string, std::string> changed;  // oracle lines by key; "" for a line that goes
  };
  const std::vector<Case> cases = {
      {"a name added in 932", 932,
       [&](PropertySetStream& s) {
         const DictionaryEntry name{4, "番号"};
         Outcome written = s.Write(custom, 4, Integer(kVtI4, 42));
         return written ? s.Name(custom, std::span(&name, 1)) : written;
       },
       {{"dict 1 4", "dict 1 4 " + Hex("番号")}, {"prop 1 4", "prop 1 4 3 42"}}},
      {"a name 932 cannot hold switches to 1200", 932,
       [&](PropertySetStream& s) {
         const DictionaryEntry name{3, "Café"};
         return s.Name(custom, std::span(&name, 1));
       },
       {{"section 1", "section 1 d5cdd505-2e9c-101b-9397-08002b2cf9ae 1200"}, {"prop 1 1", "prop 1 1 2 1200"},
        {"dict 1 3", "dict 1 3 " + Hex("Café")}}},
      {"a rename in 1200", 1200,
       [&](PropertySetStream& s) {
         const DictionaryEntry name{2, "ガンマ"};
         return s.Name(custom, std::span(&name, 1));
       },
       {{"dict 1 2", "dict 1 2 " + Hex("ガンマ")}}},
      {"a property removed with its name", 1200,
       [&](PropertySetStream& s) {
         const std::uint32_t pid = 3;
         return s.Remove(custom, std::span(&pid, 1));
       },
       {{"dict 1 3", ""}, {"prop 1 3", ""}}},
      {"yes/no, whole and real numbers", 932,
       [&](PropertySetStream& s) {
         const std::vector<PropertyAssignment> values = {
             {2, Integer(kVtBool, 1)}, {3, Real(2.5)}, {5, Integer(kVtI4, -5)}, {6, Integer(kVtBool, 0)}};
         return s.Write(custom, values);
       },
       {{"prop 1 2", "prop 1 2 11 -1"}, {"prop 1 3", "prop 1 3 5 2.5"}, {"prop 1 5", "prop 1 5 3 -5"},
        {"prop 1 6", "prop 1 6 11 0"}}},
      {"the section removed", 932, [&](PropertySetStream& s) { return s.RemoveSection(custom); },
       {{"section 1", ""}, {"dict 1 2", ""}, {"dict 1 3", ""}, {"prop 1 1", ""}, {"prop 1 2", ""}, {"prop 1 3", ""}}},
  };
  for (const Case& c : cases) {
    const Bytes before = CustomStream(c.codePage);
    Result<PropertySetStream> stream = PropertySetStream::Parse(before);
    ASSERT_TRUE(stream) << c.what;
    ASSERT_TRUE(c.edit(*stream)) << c.what;
    const Bytes after = stream->Serialize();
    std::map<std::string, std::string> expected = Keyed(Dump(before, true));
    EXPECT_EQ(expected.at("section 0"), kDsiLines) << c.what;
    for (const auto& [key, line] : c.changed) {
      if (line.empty()) {
        expected.erase(key);
      } else {
        expected[key] = line;
      }
    }
    EXPECT_EQ(Keyed(Dump(after, true)), expected) << c.what;
    EXPECT_EQ(SectionBytes(after, 0), SectionBytes(before, 0)) << c.what;
    // The codec reads its own dictionary as the oracle does.
    Result<PropertySetStream> reread = PropertySetStream::Parse(after);
    ASSERT_TRUE(reread) << c.what;
    std::map<std::string, std::string> names;
    for (const DictionaryEntry& entry : reread->Dictionary(custom).value_or(std::vector<DictionaryEntry>())) {
      names["dict 1 " + std::to_string(entry.pid)] = "dict 1 " + std::to_string(entry.pid) + " " + Hex(entry.name);
    }
    std::erase_if(expected, [](const auto& line) { return !line.first.starts_with("dict"); });
    EXPECT_EQ(names, expected) << c.what;
  }
}

TEST(PropertySetWriteTest, EditsThatChangeNothingKeepTheStreamBytes) {
  const Bytes before = CustomStream(932);
  Result<PropertySetStream> stream = PropertySetStream::Parse(before);
  ASSERT_TRUE(stream);
  const std::uint32_t absent = 9;
  const DictionaryEntry same{2, "Alpha"};
  EXPECT_TRUE(stream->Remove(kFmtidUserDefinedProperties, std::span(&absent, 1)));
  EXPECT_TRUE(stream->Name(kFmtidUserDefinedProperties, std::span(&same, 1)));
  EXPECT_TRUE(stream->RemoveSection(kOther));
  EXPECT_EQ(stream->Serialize(), before);
  const std::uint32_t codePage = kPidCodePage;
  EXPECT_EQ(stream->Remove(kFmtidUserDefinedProperties, std::span(&codePage, 1)).kind(), FailureKind::Unsupported);
  EXPECT_EQ(stream->Serialize(), before);
}

}  // namespace
}  // namespace kestrel::storage
