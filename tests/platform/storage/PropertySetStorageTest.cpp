#include "platform/storage/PropertySetStorage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/LittleEndian.h"
#include "tests/platform/storage/CfbTestFiles.h"
#include "tests/support/LibreOffice.h"
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

// The set as ReadPropertySet reads it, where a refusal is a test failure.
std::optional<PropertySetStream> ReadSet(const CompoundFile& file, const Guid& fmtid) {
  Result<std::optional<PropertySetStream>> set = ReadPropertySet(file, fmtid);
  EXPECT_TRUE(set) << set.outcome().message();
  return set ? std::move(*set) : std::nullopt;
}

// The planned stream put into the file the way the document's commit will: replaced or created.
bool Commit(CompoundFile& file, const PropertySetUpdate& update) {
  if (!update.changed) return true;
  StreamEdits edits;
  if (update.stream) {
    edits.Replace(*update.stream, update.content);
  } else {
    edits.Create(kRootEntry, update.name, update.content);
  }
  return file.Commit(edits).ok();
}

Result<PropertySetUpdate> Plan(const fs::path& document, const Guid& fmtid, std::vector<PropertyAssignment> assignments) {
  Result<std::unique_ptr<CompoundFile>> file = CompoundFile::Open(document.string(), OpenMode::Read);
  if (!file) return file.outcome();
  return PlanPropertySetUpdate(**file, fmtid, assignments);
}

// Property-set changes planned on copies of the test documents, committed, checked with olefile.
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

  // Plans the assignments on a copy of `document`, commits them and checks that no other stream
  // changed.
  fs::path ChangeCopy(const fs::path& document, const Guid& fmtid, std::vector<PropertyAssignment> assignments,
                      const std::string& changedStream) {
    const fs::path copy = dir_.Copy(document, std::to_string(copies_++) + document.extension().string());
    std::map<std::string, std::string> before = Streams(copy);
    {
      std::unique_ptr<CompoundFile> file = testing::Opened(CompoundFile::Open(copy.string(), OpenMode::ReadWrite));
      EXPECT_TRUE(file);
      if (!file) return copy;
      Result<PropertySetUpdate> update = PlanPropertySetUpdate(*file, fmtid, assignments);
      EXPECT_TRUE(update) << document << ": " << update.outcome().message();
      if (!update) return copy;
      EXPECT_TRUE(update->changed) << document;
      EXPECT_TRUE(Commit(*file, *update)) << document;
    }
    std::map<std::string, std::string> after = Streams(copy);
    before.erase(changedStream);
    after.erase(changedStream);
    EXPECT_EQ(after, before) << document << ": a stream other than " << changedStream << " changed";
    return copy;
  }

  std::optional<std::string> python_;
  test::TempDir dir_;
  int copies_ = 0;
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

TEST_F(PropertySetStorageTest, PlansEveryAssignmentIntoSummaryInformation) {
  const fs::path original = test::DataFile("lo-ascii-full.doc");
  std::vector<std::string> expected = Props(original, "SummaryInformation");
  expected = Expected(expected, "prop 0 2 30 " + Hex("A new title"));
  expected = Expected(expected, "prop 0 4 30 " + Hex("Kestrel"));
  const fs::path copy = ChangeCopy(original, kFmtidSummaryInformation,
                                   {{2, Text("A new title")}, {4, Text("Kestrel")}}, "\\x05SummaryInformation");
  EXPECT_EQ(Props(copy, "SummaryInformation"), expected);
  std::unique_ptr<CompoundFile> file = testing::Opened(CompoundFile::Open(copy.string(), OpenMode::Read));
  ASSERT_TRUE(file);
  std::optional<PropertySetStream> set = ReadSet(*file, kFmtidSummaryInformation);
  ASSERT_TRUE(set);
  EXPECT_EQ(set->Read(kFmtidSummaryInformation, 2)->text, "A new title");
}

TEST_F(PropertySetStorageTest, WritesIntoDocumentSummaryKeepingTheUserDefinedSection) {
  const fs::path original = test::DataFile("lo-ja-full.doc");
  const std::vector<std::string> before = Props(original, "DocumentSummaryInformation");
  const std::string manager = "\xE5\xB1\xB1\xE7\x94\xB0\xE8\x8A\xB1\xE5\xAD\x90";  // 山田花子
  const fs::path copy = ChangeCopy(original, kFmtidDocSummaryInformation, {{14, Text(manager)}},
                                   "\\x05DocumentSummaryInformation");
  EXPECT_EQ(Props(copy, "DocumentSummaryInformation"), Expected(before, "prop 0 14 30 " + Hex(manager)));
  // The user-defined section is the tail of the stream before and after, byte for byte.
  const std::string oldHex = StreamHex(original, "DocumentSummaryInformation");
  const std::string newHex = StreamHex(copy, "DocumentSummaryInformation");
  const std::size_t userSection = 2 * 68 + 2 * 24;  // header, two list entries, the 24-byte first section
  ASSERT_GT(oldHex.size(), userSection);
  EXPECT_NE(newHex.find(oldHex.substr(userSection, oldHex.size() - 1 - userSection)), std::string::npos);
}

TEST_F(PropertySetStorageTest, CreatesMissingStreamsUnderTheirNamesIn932) {
  struct Case {
    const char* document;
    Guid fmtid;
    std::string stream;
    std::vector<std::string> lines;
  };
  const std::vector<Case> cases = {
      {"poi-no-dsi.doc", kFmtidDocSummaryInformation, "DocumentSummaryInformation",
       {"section 0 d5cdd502-2e9c-101b-9397-08002b2cf9ae 932", "prop 0 1 2 932", "prop 0 15 30 " + Hex("Kestrel Corp")}},
      {"poi-no-dsi.doc", kFmtidUserDefinedProperties, "DocumentSummaryInformation",
       {"section 0 d5cdd502-2e9c-101b-9397-08002b2cf9ae 932", "prop 0 1 2 932",
        "section 1 d5cdd505-2e9c-101b-9397-08002b2cf9ae 932", "prop 1 1 2 932", "prop 1 15 30 " + Hex("Kestrel Corp")}},
      {"lo-ascii-full.doc", kFmtidMediaFileSummaryInformation, "SebiesnrMkudrfcoIaamtykdDa",
       {"section 0 64440492-4c8b-11d1-8b70-080036b11a03 932", "prop 0 1 2 932", "prop 0 15 30 " + Hex("Kestrel Corp")}},
  };
  for (const Case& c : cases) {
    const fs::path copy = ChangeCopy(test::DataFile(c.document), c.fmtid, {{15, Text("Kestrel Corp")}}, "\\x05" + c.stream);
    EXPECT_EQ(Props(copy, c.stream), c.lines) << c.stream;
    std::unique_ptr<CompoundFile> file = testing::Opened(CompoundFile::Open(copy.string(), OpenMode::Read));
    ASSERT_TRUE(file);
    std::optional<PropertySetStream> set = ReadSet(*file, c.fmtid);
    ASSERT_TRUE(set);
    EXPECT_EQ(set->Read(c.fmtid, 15)->text, "Kestrel Corp");
  }
}

// An empty stream holds no set: a change puts a new one in its place, as where there is none.
TEST_F(PropertySetStorageTest, AnEmptyStreamIsReplacedByANewSet) {
  const fs::path emptied = dir_.Copy(test::DataFile("lo-ascii-full.doc"), "emptied.doc");
  {
    std::unique_ptr<CompoundFile> file = testing::Opened(CompoundFile::Open(emptied.string(), OpenMode::ReadWrite));
    ASSERT_TRUE(file);
    PropertySetUpdate empty;
    empty.name = PropertySetStreamName(kFmtidSummaryInformation);
    empty.stream = file->FindChild(kRootEntry, empty.name);
    empty.changed = true;
    ASSERT_TRUE(Commit(*file, empty));
  }
  const fs::path copy = ChangeCopy(emptied, kFmtidSummaryInformation, {{2, Text("A new title")}}, "\\x05SummaryInformation");
  EXPECT_EQ(Props(copy, "SummaryInformation"),
            (std::vector<std::string>{"section 0 f29f85e0-4ff9-1068-ab91-08002b27b3d9 932", "prop 0 1 2 932",
                                      "prop 0 2 30 " + Hex("A new title")}));
}

TEST_F(PropertySetStorageTest, PlanOfValuesAlreadyStoredChangesNothing) {
  const fs::path document = test::DataFile("lo-ja-full.doc");
  std::unique_ptr<CompoundFile> file = testing::Opened(CompoundFile::Open(document.string(), OpenMode::Read));
  ASSERT_TRUE(file);
  std::optional<PropertySetStream> set = ReadSet(*file, kFmtidSummaryInformation);
  ASSERT_TRUE(set);
  const PropertyValue title = *set->Read(kFmtidSummaryInformation, 2);
  const PropertyValue author = *set->Read(kFmtidSummaryInformation, 4);
  struct Case {
    const char* what;
    std::vector<PropertyAssignment> assignments;
    bool changed;
  };
  const std::vector<Case> cases = {
      {"nothing asked", {}, false},
      {"the same title and author", {{2, title}, {4, author}}, false},
      {"the same title, another author", {{2, title}, {4, Text("someone else")}}, true},
      {"a property that is absent", {{0x4000, Text("")}}, true},
  };
  const std::optional<std::vector<std::uint8_t>> old = file->ReadStream(*file->FindChild(kRootEntry, u"\u0005SummaryInformation"));
  for (const Case& c : cases) {
    Result<PropertySetUpdate> update = PlanPropertySetUpdate(*file, kFmtidSummaryInformation, c.assignments);
    ASSERT_TRUE(update) << c.what;
    EXPECT_EQ(update->changed, c.changed) << c.what;
    EXPECT_TRUE(update->stream) << c.what;
    EXPECT_EQ(update->content == *old, !c.changed) << c.what;
  }
  // A missing stream with nothing to put in it stays missing.
  Result<PropertySetUpdate> none = PlanPropertySetUpdate(*file, kFmtidMediaFileSummaryInformation, {});
  ASSERT_TRUE(none);
  EXPECT_FALSE(none->changed);
  EXPECT_FALSE(none->stream);
}

// Damaged sets of real documents: what the header lists and what is readable still reads, and a
// plan names the set and the place it refuses. The file is only read.
TEST_F(PropertySetStorageTest, DamagedSetsOfPublicDocumentsReadSectionBySectionAndRefuseWithAReason) {
  std::optional<fs::path> corpus = test::PublicCorpusDir();
  if (!corpus) GTEST_SKIP() << "the public corpus is absent";
  struct Case {
    const char* document;  // in the public corpus, or in the office one beside it
    Guid fmtid;
    bool readable;
    std::string refusal;    // empty: the plan goes ahead
    unsigned codePage = 0;  // of the planned section
  };
  const std::vector<Case> cases = {
      // Its DocumentSummaryInformation header starts 6A 00; SummaryInformation is sound.
      {"clusterfuzz-testcase-minimized-POIHWPFFuzzer-6610789829836800.doc", kFmtidDocSummaryInformation, false,
       "DocumentSummaryInformation: the byte order mark is 0x006A, not 0xFFFE"},
      {"clusterfuzz-testcase-minimized-POIHWPFFuzzer-6610789829836800.doc", kFmtidSummaryInformation, true, "", 65001},
      // Its DocumentSummaryInformation stream is all zeros.
      {"clusterfuzz-testcase-minimized-POIHWPFFuzzer-5050208641482752.doc", kFmtidUserDefinedProperties, false,
       "DocumentSummaryInformation: the byte order mark is 0x0000, not 0xFFFE"},
      // Word 6: both sets in 65001, the document summary stream with two empty sections.
      {"Word6.doc", kFmtidSummaryInformation, true, "", 65001},
      {"Word6.doc", kFmtidUserDefinedProperties, true, "", 65001},
      // Its user-defined section runs 4 bytes past the stream; the empty first section reads.
      {"bug55505.xls", kFmtidDocSummaryInformation, true,
       "DocumentSummaryInformation: section 2 runs past the end of the stream"},
      {"bug55505.xls", kFmtidUserDefinedProperties, false,
       "DocumentSummaryInformation: section 2 runs past the end of the stream"},
      // Both sections already in 1200, the user-defined strings as VT_LPWSTR.
      {"28772.xls", kFmtidDocSummaryInformation, true, "", 1200},
      {"28772.xls", kFmtidUserDefinedProperties, true, "", 1200},
  };
  const std::string korean = "\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4";
  for (const Case& c : cases) {
    fs::path document = *corpus / "docs" / c.document;
    if (!fs::exists(document)) document = corpus->parent_path() / "corpus-office" / "docs" / c.document;
    if (!fs::exists(document)) {
      std::cout << "[  SKIPPED ] " << c.document << " is absent\n";
      continue;
    }
    std::unique_ptr<CompoundFile> file = testing::Opened(CompoundFile::Open(document.string(), OpenMode::Read));
    ASSERT_TRUE(file) << c.document;
    EXPECT_EQ(ReadSet(*file, c.fmtid).has_value(), c.readable) << c.document;
    const std::vector<PropertyAssignment> assignments = {{2, Text(korean)}};
    Result<PropertySetUpdate> update = PlanPropertySetUpdate(*file, c.fmtid, assignments);
    if (c.refusal.empty()) {
      ASSERT_TRUE(update) << c.document << ": " << update.outcome().message();
      Result<PropertySetStream> planned = PropertySetStream::Parse(update->content);
      ASSERT_TRUE(planned);
      EXPECT_EQ(planned->Read(c.fmtid, 2)->text, korean) << c.document;
      EXPECT_EQ(planned->CodePage(c.fmtid), c.codePage) << c.document << ": a Unicode set keeps its code page";
    } else {
      EXPECT_EQ(update.outcome().kind(), FailureKind::Damaged) << c.document;
      EXPECT_EQ(update.outcome().message(), c.refusal) << c.document;
    }
  }
}

// A property-set stream larger than any real one is refused unread, by the reading and by a plan,
// naming the stream and its size; one of the largest size allowed reads.
TEST(PropertySetStorageLimitTest, StreamsLargerThanAnyPropertySetAreRefusedUnread) {
  const auto document = testing::Opened(CompoundFile::Open(test::DataFile("lo-ascii-full.doc").string(), OpenMode::Read));
  ASSERT_NE(document, nullptr);
  const std::u16string name = u"\u0005SummaryInformation";
  const std::vector<std::uint8_t> set = *document->ReadStream(*document->FindChild(kRootEntry, name));
  struct Case {
    std::size_t size;  // the set padded with zeros, as Word pads it
    std::string refusal;
  };
  const std::vector<Case> cases = {
      {4 << 20, ""},
      {(4 << 20) + 1, "SummaryInformation: the stream holds 4194305 bytes; property sets larger than 4 MiB are not read"},
  };
  const std::vector<PropertyAssignment> title = {{2, Text("x")}};
  const test::TempDir dir;
  for (const Case& c : cases) {
    std::vector<std::uint8_t> padded = set;
    padded.resize(c.size, 0);
    test::WriteBytes(dir.Path() / "padded.doc", testing::BuildCompoundFile({{name, padded}}));
    const auto file = testing::Opened(CompoundFile::Open((dir.Path() / "padded.doc").string(), OpenMode::Read));
    ASSERT_NE(file, nullptr);
    const Result<std::optional<PropertySetStream>> read = ReadPropertySet(*file, kFmtidSummaryInformation);
    const Result<PropertySetUpdate> plan = PlanPropertySetUpdate(*file, kFmtidSummaryInformation, title);
    EXPECT_EQ(read && *read, c.refusal.empty()) << c.size;
    EXPECT_EQ(plan.outcome().message(), c.refusal) << c.size;
    EXPECT_EQ(read.outcome().message(), c.refusal) << c.size;
    EXPECT_EQ(plan.outcome().kind(), c.refusal.empty() ? FailureKind::None : FailureKind::Unsupported) << c.size;
  }
}

// A document whose stream `name` is replaced by `damage` applied to it, in a copy.
fs::path DamagedCopy(const test::TempDir& dir, const std::string& document, const std::u16string& name,
                     const std::function<void(std::vector<std::uint8_t>&)>& damage, const std::string& copyName) {
  const fs::path copy = dir.Copy(test::DataFile(document), copyName);
  std::unique_ptr<CompoundFile> file = testing::Opened(CompoundFile::Open(copy.string(), OpenMode::ReadWrite));
  const EntryId entry = *file->FindChild(kRootEntry, name);
  std::vector<std::uint8_t> bytes = *file->ReadStream(entry);
  damage(bytes);
  StreamEdits edits;
  edits.Replace(entry, bytes);
  EXPECT_TRUE(file->Commit(edits));
  return copy;
}

TEST_F(PropertySetStorageTest, DamagedUserDefinedSectionLeavesTheDocumentSummaryReadable) {
  const std::u16string dsi = u"\u0005DocumentSummaryInformation";
  // lo-ja-full.doc: the document summary section at 68 (24 bytes), the user-defined one at 92.
  const fs::path runsPast = DamagedCopy(dir_, "lo-ja-full.doc", dsi, [](auto& b) { le::Put32(&b[92], 5000); }, "past.doc");
  const fs::path insideTable =
      DamagedCopy(dir_, "lo-ja-full.doc", dsi, [](auto& b) { le::Put32(&b[92 + 12], 8); }, "table.doc");
  const std::string manager = "\xE5\xB1\xB1\xE7\x94\xB0";  // 山田

  for (const fs::path& copy : {runsPast, insideTable}) {
    std::unique_ptr<CompoundFile> file = testing::Opened(CompoundFile::Open(copy.string(), OpenMode::Read));
    ASSERT_TRUE(file);
    EXPECT_TRUE(ReadSet(*file, kFmtidDocSummaryInformation)) << copy;
    EXPECT_FALSE(ReadSet(*file, kFmtidUserDefinedProperties)) << copy;
    Result<PropertySetUpdate> intoDamaged = Plan(copy, kFmtidUserDefinedProperties, {{2, Text("x")}});
    EXPECT_EQ(intoDamaged.outcome().kind(), FailureKind::Damaged) << copy;
  }
  Result<PropertySetUpdate> refused = Plan(runsPast, kFmtidDocSummaryInformation, {{14, Text(manager)}});
  EXPECT_EQ(refused.outcome().message(), "DocumentSummaryInformation: section 2 runs past the end of the stream");

  // A section whose damage stays inside it is carried over byte for byte.
  const std::string oldHex = StreamHex(insideTable, "DocumentSummaryInformation");
  const fs::path changed = ChangeCopy(insideTable, kFmtidDocSummaryInformation, {{14, Text(manager)}},
                                      "\\x05DocumentSummaryInformation");
  const std::string newHex = StreamHex(changed, "DocumentSummaryInformation");
  const std::string userSection = oldHex.substr(2 * 92, oldHex.size() - 1 - 2 * 92);
  EXPECT_NE(newHex.find(userSection), std::string::npos);
  std::unique_ptr<CompoundFile> file = testing::Opened(CompoundFile::Open(changed.string(), OpenMode::Read));
  EXPECT_EQ(ReadSet(*file, kFmtidDocSummaryInformation)->Read(kFmtidDocSummaryInformation, 14)->text, manager);
}

TEST_F(PropertySetStorageTest, HeaderListingFewerSectionsThanTheStreamHoldsIsNeverOverwritten) {
  const fs::path copy = DamagedCopy(dir_, "lo-ascii-full.doc", u"\u0005SummaryInformation",
                                    [](auto& b) { le::Put32(&b[24], 0); }, "unlisted.doc");
  const std::vector<std::uint8_t> before = test::ReadBytes(copy);
  Result<PropertySetUpdate> update = Plan(copy, kFmtidSummaryInformation, {{2, Text("x")}});
  EXPECT_EQ(update.outcome().kind(), FailureKind::Damaged);
  EXPECT_EQ(update.outcome().message(), "SummaryInformation: the header claims 0 sections but the stream holds one");
  EXPECT_EQ(test::ReadBytes(copy), before);
}

// LibreOffice opens the whole document after its SummaryInformation switched to 1200: the body
// converts as before and the switched title, with the strings carried over, is what it reads.
TEST_F(PropertySetStorageTest, DocumentWithASwitchedSetOpensInLibreOffice) {
  if (!test::Soffice()) GTEST_SKIP() << "LibreOffice is not installed";
  const fs::path original = test::DataFile("poi-ja-cp932.doc");
  const std::string title = "\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4 \xE6\x97\xA5\xE6\x9C\xAC";  // 한국어 日本
  const std::vector<std::string> before = Props(original, "SummaryInformation");
  const fs::path copy = ChangeCopy(original, kFmtidSummaryInformation, {{2, Text(title)}}, "\\x05SummaryInformation");
  std::vector<std::string> expected = Expected(before, "prop 0 2 30 " + Hex(title));
  expected = Expected(expected, "prop 0 1 2 1200");
  expected.front() = "section 0 f29f85e0-4ff9-1068-ab91-08002b27b3d9 1200";
  EXPECT_EQ(Props(copy, "SummaryInformation"), expected);

  EXPECT_EQ(test::ConvertToText(copy), test::ConvertToText(original));
  const test::TempDir work;
  const test::CommandResult converted = test::RunCommand(
      "soffice -env:UserInstallation=file://" + work.Path().string() + "/profile --headless --convert-to odt --outdir " +
      test::ShellQuote(work.Path().string()) + " " + test::ShellQuote(copy.string()));
  ASSERT_EQ(converted.exitCode, 0) << converted.output;
  const test::CommandResult meta = test::RunCommand(
      *python_ + " -c " + test::ShellQuote("import sys, zipfile\nsys.stdout.write(zipfile.ZipFile(sys.argv[1]).read('meta.xml').decode())") +
      " " + test::ShellQuote((work.Path() / (copy.stem().string() + ".odt")).string()));
  EXPECT_NE(meta.output.find("<dc:title>" + title + "</dc:title>"), std::string::npos) << meta.output;
}

}  // namespace
}  // namespace kestrel::storage
