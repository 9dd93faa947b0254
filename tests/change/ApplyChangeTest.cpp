// Changes that succeed: what lands in the property sets, the statistics block and the package
// parts (read back by independent readers), and the file times and attribute bits afterwards.
#include "change/ApplyChange.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <sstream>

#include "catalogue/DocumentKind.h"
#include "platform/fs/FileState.h"
#include "platform/time/DateTimeText.h"
#include "tests/change/ChangeFixture.h"
#include "tests/support/DosAttribOracle.h"
#include "tests/support/LocalClock.h"
#include "tests/support/Oracles.h"
#include "worddoc/BinaryPropertyRows.h"

namespace kestrel::change {
namespace {

namespace stdfs = std::filesystem;
using catalogue::AttributeChoice;
using test::WallClock;

constexpr const char* kSummary = "SummaryInformation";
constexpr const char* kDocSummary = "DocumentSummaryInformation";
constexpr std::uint32_t kShownBits = 0x27;

// The values of a single change; the title carries blanks to be trimmed.
const std::array<std::string, catalogue::kRowCount> kSingleValues = {
    "  新しい題名 \t", "新しい件名", "作成者", "キーワード", "一行目\n二行目", "分類", "7", "更新者", "管理者の名前",
    "会社名", "2021/04/01 9:15:30", "2023/06/15 18:45:10", "45", "2023/06/10 12:00:00"};

// Each time's date picker holds another time of day, and its time picker another date: only the
// date part of the one and the time part of the other may count.
const WallClock kCreation{2020, 5, 6, 7, 8, 9};
const WallClock kLastWrite{2021, 11, 12, 13, 14, 15};
const WallClock kLastAccess{2022, 2, 28, 23, 59, 58};

time::LocalDateTime At(const std::string& text) {
  const auto value = time::ParseDateTimeText(text);
  if (!value) throw std::runtime_error("not a date-time text: " + text);
  return *value;
}

std::string DateText(const WallClock& c) {
  return std::to_string(c.year) + "/" + std::to_string(c.month) + "/" + std::to_string(c.day);
}

std::string TimeText(const WallClock& c) {
  return std::to_string(c.hour) + ":" + std::to_string(c.minute) + ":" + std::to_string(c.second);
}

SinglePickers Pickers() {
  SinglePickers pickers;
  pickers.creationDate = At(DateText(kCreation) + " 22:22:22");
  pickers.creationTime = At("1999/01/01 " + TimeText(kCreation));
  pickers.lastWriteDate = At(DateText(kLastWrite) + " 1:02:03");
  pickers.lastWriteTime = At("2030/07/07 " + TimeText(kLastWrite));
  pickers.lastAccessDate = At(DateText(kLastAccess) + " 4:05:06");
  pickers.lastAccessTime = At("1950/03/03 " + TimeText(kLastAccess));
  return pickers;
}

catalogue::AttributeChoices Choices(AttributeChoice readOnly, AttributeChoice archive, AttributeChoice hidden,
                                    AttributeChoice system) {
  return {readOnly, archive, hidden, system};
}

const catalogue::AttributeChoices kAllKept = Choices(AttributeChoice::Keep, AttributeChoice::Keep,
                                                     AttributeChoice::Keep, AttributeChoice::Keep);

catalogue::BatchValues BatchOf(std::initializer_list<std::pair<int, std::string>> rows,
                               const catalogue::AttributeChoices& attributes = kAllKept) {
  catalogue::BatchValues values;
  for (const auto& [row, text] : rows) {
    values.rows.values.at(static_cast<std::size_t>(row)) = text;
    values.rows.included.at(static_cast<std::size_t>(row)) = true;
  }
  values.attributes = attributes;
  return values;
}

fs::Timestamp TimestampOf(const test::KernelTime& time) { return {time.seconds, time.nanoseconds}; }

// The creation time as the program and, independently, the attribute blob give it.
void ExpectCreation(const stdfs::path& file, const test::KernelTime& expected) {
  const auto record = fs::ReadFileRecord(file);
  ASSERT_TRUE(record);
  EXPECT_EQ(record->times.creation, TimestampOf(expected));
  const auto blob = test::ReadDosAttrib(file);
  if (blob && blob->creation) {
    EXPECT_EQ(*blob->creation, test::FileTimeOf(expected));
  } else if (blob) {
    EXPECT_EQ(test::ToString(test::TakeFileSnapshot(file).birth), test::ToString(expected));
  }
}

std::string FileTimeText(const WallClock& local) { return "64 " + std::to_string(test::FileTimeOf(test::InstantOf(local))); }

// The 18 bytes of the statistics block that hold the dates, found through the FIB by olefile.
std::optional<std::string> DopDatesHex(const stdfs::path& file) {
  const auto flags = test::StreamNumber(file, "WordDocument", 10, 2);
  const auto fcDop = test::StreamNumber(file, "WordDocument", 402, 4);
  if (!flags || !fcDop) return std::nullopt;
  const bool table1 = (*flags & 0x0200) != 0;
  return test::StreamBytes(file, table1 ? "1Table" : "0Table", *fcDop + 20, 18);
}

std::string Property(const test::PropertyDump& dump, std::uint32_t pid) {
  const auto found = dump.properties.find({0, pid});
  return found == dump.properties.end() ? "missing" : found->second;
}

// name -> text of the package's property elements, by package_props.py.
std::optional<std::map<std::string, std::string>> PackageProperties(const stdfs::path& file) {
  const auto python = test::OlefilePython();
  if (!python) return std::nullopt;
  const auto result = test::RunCommand("PYTHONIOENCODING=utf-8 " + *python + " " +
                                       test::ShellQuote(test::TestScript("oracle/package_props.py").string()) + " " +
                                       test::ShellQuote(file.string()));
  if (result.exitCode != 0) {
    ADD_FAILURE() << result.output;
    return std::nullopt;
  }
  std::map<std::string, std::string> properties;
  std::istringstream lines(result.output);
  std::string line;
  while (std::getline(lines, line)) {
    const auto equals = line.find('=');
    if (equals != std::string::npos) properties[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return properties;
}

class ChangeInZone : public testing::TestWithParam<const char*> {
 protected:
  test::ScopedTimeZone zone_{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(Zones, ChangeInZone, testing::Values("Asia/Tokyo", "America/New_York"),
                         [](const testing::TestParamInfo<const char*>& zone) { return std::string(zone.param).substr(0, 4); });

// A read-only document with its read-only box left checked: every row written, the picker times
// set, read-only again.
TEST_P(ChangeInZone, SingleChangeOfAReadOnlyDocument) {
  if (!test::OlefilePython()) GTEST_SKIP() << "python3-olefile is not installed";
  const test::TempDir dir;
  const auto file = test::PrepareDocument(dir, "poi-no-dsi.doc", true);
  const auto request = ChangeRequest::Single(
      kSingleValues, Pickers(),
      Choices(AttributeChoice::Set, AttributeChoice::Clear, AttributeChoice::Clear, AttributeChoice::Clear));
  ASSERT_TRUE(test::Apply(file, request));

  EXPECT_FALSE(test::OwnerWritable(file));
  EXPECT_EQ(test::ShownAttributes(file), fs::kAttributeReadOnly);
  const auto after = test::TakeFileSnapshot(file);
  EXPECT_EQ(test::ToString(after.lastWrite), test::ToString(test::InstantOf(kLastWrite)));
  EXPECT_EQ(test::ToString(after.lastAccess), test::ToString(test::InstantOf(kLastAccess)));
  ExpectCreation(file, test::InstantOf(kCreation));

  const auto summary = test::DumpPropertySet(file, kSummary);
  ASSERT_TRUE(summary);
  EXPECT_EQ(Property(*summary, 2), test::DumpedText(30, "新しい題名"));  // trimmed
  EXPECT_EQ(Property(*summary, 6), test::DumpedText(30, "一行目\n二行目"));
  EXPECT_EQ(Property(*summary, 9), test::DumpedText(30, "7"));
  EXPECT_EQ(Property(*summary, 10), "64 27000000000");  // 45 minutes
  EXPECT_EQ(Property(*summary, 12), FileTimeText({2021, 4, 1, 9, 15, 30}));
  EXPECT_EQ(Property(*summary, 11), FileTimeText({2023, 6, 10, 12, 0, 0}));
  // The document had no DocumentSummaryInformation; every row is written, so it has one now.
  const auto docSummary = test::DumpPropertySet(file, kDocSummary);
  ASSERT_TRUE(docSummary);
  EXPECT_EQ(Property(*docSummary, 2), test::DumpedText(30, "分類"));
  EXPECT_EQ(Property(*docSummary, 14), test::DumpedText(30, "管理者の名前"));
  EXPECT_EQ(Property(*docSummary, 15), test::DumpedText(30, "会社名"));
  // tmEdited (last four bytes of the run) is 45, nRevision 7.
  const auto dates = DopDatesHex(file);
  ASSERT_TRUE(dates);
  EXPECT_EQ(dates->substr(24), "07002d000000");
}

TEST_P(ChangeInZone, SingleChangeWithTheReadOnlyBoxUncheckedLeavesTheDocumentWritable) {
  const test::TempDir dir;
  const auto file = test::PrepareDocument(dir, "lo-ja-full.doc", true);
  ASSERT_TRUE(test::Apply(file, ChangeRequest::Single(kSingleValues, Pickers(),
                                                      Choices(AttributeChoice::Clear, AttributeChoice::Clear,
                                                              AttributeChoice::Clear, AttributeChoice::Clear))));
  EXPECT_TRUE(test::OwnerWritable(file));
  EXPECT_EQ(test::ShownAttributes(file), 0u);
  EXPECT_EQ(test::ToString(test::TakeFileSnapshot(file).lastWrite), test::ToString(test::InstantOf(kLastWrite)));
}

// With every time box clear the three times are what they were, to the nanosecond, although the
// properties were rewritten; with the attribute boxes grayed nothing is added to the file.
TEST_P(ChangeInZone, BatchChangeWithEveryTimeBoxClearKeepsTheTimesExactly) {
  for (const char* name : {"lo-ja-full.doc", "lo-ja-full.docx"}) {
    for (const bool readOnly : {false, true}) {
      SCOPED_TRACE(std::string(name) + (readOnly ? " read-only" : ""));
      const test::TempDir dir;
      const auto file = test::PrepareDocument(dir, name, readOnly);
      const auto before = test::TakeFileSnapshot(file);
      const auto record = fs::ReadFileRecord(file);
      ASSERT_TRUE(record);
      ASSERT_TRUE(test::Apply(file, ChangeRequest::Batch(BatchOf({{catalogue::kTitle, "書き換えた題名"}}))));

      const auto after = test::TakeFileSnapshot(file);
      EXPECT_FALSE(before.bytes == after.bytes) << "the title was not written";
      EXPECT_EQ(test::ToString(after.lastWrite), test::ToString(before.lastWrite));
      EXPECT_EQ(test::ToString(after.lastAccess), test::ToString(before.lastAccess));
      EXPECT_EQ(after.mode, before.mode);
      const auto now = fs::ReadFileRecord(file);
      ASSERT_TRUE(now);
      // A rewritten package is a new file whose creation time lives in the attribute blob, in
      // 100 ns units; a document rewritten in place keeps its own.
      EXPECT_EQ(now->times.FileTimes(), record->times.FileTimes());
      EXPECT_EQ(now->attributes, record->attributes);
      if (catalogue::DocumentKindOf(name) == catalogue::DocumentKind::Binary) {
        // Rewritten in place: the same file, and no attribute store added.
        EXPECT_TRUE(after.xattrs == before.xattrs);
        EXPECT_EQ(test::ToString(after.birth), test::ToString(before.birth));
      }
    }
  }
}

// Only the creation time box: the creation time keeps its date and takes the picker's time of
// day; the other two times stay exactly.
TEST_P(ChangeInZone, BatchChangeOfTheCreationTimeOfDayOnly) {
  for (const char* name : {"lo-ascii-full.doc", "lo-ascii-full.docx"}) {
    SCOPED_TRACE(name);
    const test::TempDir dir;
    const auto file = test::PrepareDocument(dir, name, false);
    const auto before = test::TakeFileSnapshot(file);
    auto values = BatchOf({});
    values.times.creationTime = {true, At("1987/06/05 13:14:15")};
    ASSERT_TRUE(test::Apply(file, ChangeRequest::Batch(values)));

    WallClock expected = test::WallClockOf(before.birth);
    expected.hour = 13;
    expected.minute = 14;
    expected.second = 15;
    ExpectCreation(file, test::InstantOf(expected));
    const auto after = test::TakeFileSnapshot(file);
    EXPECT_EQ(test::ToString(after.lastWrite), test::ToString(before.lastWrite));
    EXPECT_EQ(test::ToString(after.lastAccess), test::ToString(before.lastAccess));
  }
}

// Date boxes alone: each time keeps its time of day to the millisecond and takes the date.
TEST_P(ChangeInZone, BatchChangeOfTheDatesOnly) {
  const test::TempDir dir;
  const auto file = test::PrepareDocument(dir, "lo-ja-full.doc", false);
  auto values = BatchOf({});
  values.times.lastWriteDate = {true, At("2001/02/03 4:05:06")};
  values.times.lastAccessDate = {true, At("2002/03/04")};
  ASSERT_TRUE(test::Apply(file, ChangeRequest::Batch(values)));
  const auto after = test::TakeFileSnapshot(file);
  for (const auto& [old, now, date] : {std::tuple{test::kOddLastWrite, after.lastWrite, WallClock{2001, 2, 3}},
                                       std::tuple{test::kOddLastAccess, after.lastAccess, WallClock{2002, 3, 4}}}) {
    WallClock expected = test::WallClockOf(old);
    expected.year = date.year;
    expected.month = date.month;
    expected.day = date.day;
    auto instant = test::InstantOf(expected);
    instant.nanoseconds = old.nanoseconds / 1'000'000 * 1'000'000;
    EXPECT_EQ(test::ToString(now), test::ToString(instant));
  }
}

// A change to the values a document already holds writes nothing at all: not its bytes, its
// attribute store or its times, and not even its change time moves. Any value that differs, an
// attribute bit included, is written.
TEST(ApplyChange, AChangeToWhatTheDocumentHoldsWritesNothing) {
  const test::ScopedTimeZone tokyo("Asia/Tokyo");
  const auto changeTime = [](const stdfs::path& file) {
    struct stat info {};
    EXPECT_EQ(::stat(file.c_str(), &info), 0);
    return std::pair{info.st_ino, info.st_ctim.tv_sec * 1'000'000'000 + info.st_ctim.tv_nsec};
  };
  const auto values = BatchOf({{catalogue::kTitle, "同じ題名"}, {catalogue::kCompany, "Same Company"},
                               {catalogue::kCreated, "2020/01/02 3:04:05"}});
  for (const char* name : {"lo-ja-full.doc", "lo-ja-full.docx", "poi-no-dsi.doc"}) {
    for (const bool readOnly : {false, true}) {
      SCOPED_TRACE(std::string(name) + (readOnly ? " read-only" : ""));
      const test::TempDir dir;
      const auto file = test::PrepareDocument(dir, name, readOnly);
      const Outcome first = test::Apply(file, ChangeRequest::Batch(values));
      ASSERT_TRUE(first) << first.message();
      EXPECT_FALSE(first.alreadySo());

      const auto before = test::TakeFileSnapshot(file);
      const auto changedAt = changeTime(file);
      const Outcome again = test::Apply(file, ChangeRequest::Batch(values));
      ASSERT_TRUE(again) << again.message();
      EXPECT_TRUE(again.alreadySo());
      test::ExpectUnchanged(before, test::TakeFileSnapshot(file));
      EXPECT_EQ(changeTime(file), changedAt);

      auto hidden = values;
      hidden.attributes.hidden = AttributeChoice::Set;
      const Outcome bit = test::Apply(file, ChangeRequest::Batch(hidden));
      ASSERT_TRUE(bit) << bit.message();
      EXPECT_FALSE(bit.alreadySo());
      EXPECT_EQ(test::ShownAttributes(file) & fs::kAttributeHidden, fs::kAttributeHidden);
      const Outcome title = test::Apply(file, ChangeRequest::Batch(BatchOf({{catalogue::kTitle, "別の題名"}})));
      EXPECT_TRUE(title && !title.alreadySo());
      EXPECT_EQ(test::OwnerWritable(file), !readOnly);
    }
  }
}

TEST(BatchChange, TheReadOnlyBoxGrayedKeepsTheBitUncheckedClearsIt) {
  for (const auto choice : {AttributeChoice::Keep, AttributeChoice::Clear}) {
    const test::TempDir dir;
    const auto file = test::PrepareDocument(dir, "lo-ascii-full.doc", true);
    ASSERT_TRUE(test::Apply(file, ChangeRequest::Batch(BatchOf(
                                      {{catalogue::kAuthor, "Someone Else"}},
                                      Choices(choice, AttributeChoice::Keep, AttributeChoice::Keep, AttributeChoice::Keep)))));
    EXPECT_EQ(test::OwnerWritable(file), choice == AttributeChoice::Clear);
    EXPECT_EQ(test::ShownAttributes(file), choice == AttributeChoice::Clear ? 0u : fs::kAttributeReadOnly);
  }
}

// Hidden, system and archive live in the attribute blob: the program and an independent decoder
// of the blob agree on them after each change.
TEST(BatchChange, HiddenSystemAndArchiveChoices) {
  if (!test::OlefilePython()) GTEST_SKIP() << "Debian's python3 is not installed";
  const test::TempDir dir;
  const auto file = test::PrepareDocument(dir, "lo-ja-full.doc", false);
  struct Step {
    catalogue::AttributeChoices choices;
    std::uint32_t expected;
  };
  using enum AttributeChoice;
  for (const auto& step : {Step{Choices(Keep, Set, Set, Set), 0x26}, Step{Choices(Keep, Clear, Clear, Keep), 0x04},
                           Step{Choices(Set, Keep, Set, Clear), 0x03}, Step{Choices(Clear, Set, Keep, Keep), 0x22}}) {
    SCOPED_TRACE(step.expected);
    ASSERT_TRUE(test::Apply(file, ChangeRequest::Batch(BatchOf({}, step.choices))));
    EXPECT_EQ(test::ShownAttributes(file), step.expected);
    EXPECT_EQ(test::OwnerWritable(file), (step.expected & fs::kAttributeReadOnly) == 0);
    const auto blob = test::ReadDosAttrib(file);
    ASSERT_TRUE(blob);
    EXPECT_TRUE(blob->present);
    EXPECT_EQ(blob->attributes & (kShownBits & ~fs::kAttributeReadOnly), step.expected & ~fs::kAttributeReadOnly);
  }
}

// "消す" on the last-printed row: the property becomes VT_NULL and the block's dttmLastPrint 0;
// the other fields of the block stay.
TEST(BatchChange, AnErasedLastPrintedDate) {
  if (!test::OlefilePython()) GTEST_SKIP() << "python3-olefile is not installed";
  const test::ScopedTimeZone tokyo("Asia/Tokyo");
  const test::TempDir dir;
  const auto file = test::PrepareDocument(dir, "poi-ja-cp932.doc", false);
  const auto datesBefore = DopDatesHex(file);
  ASSERT_TRUE(datesBefore);
  ASSERT_NE(datesBefore->substr(16, 8), "00000000");
  ASSERT_TRUE(test::Apply(file, ChangeRequest::Batch(BatchOf({{catalogue::kLastPrinted, ""}}))));
  const auto summary = test::DumpPropertySet(file, kSummary);
  ASSERT_TRUE(summary);
  EXPECT_EQ(Property(*summary, 11), "1 -");
  const auto dates = DopDatesHex(file);
  ASSERT_TRUE(dates);
  EXPECT_EQ(dates->substr(16, 8), "00000000");
  EXPECT_EQ(dates->substr(0, 16), datesBefore->substr(0, 16));
  EXPECT_EQ(dates->substr(24), datesBefore->substr(24));
}

// A binary document is changed where it lies: through a symbolic link the file it leads to is
// changed and the link stays a link; every hard-linked name sees the change.
TEST(BatchChange, LinkedBinaryDocumentsChangeForEveryName) {
  const test::TempDir dir;
  const auto file = test::PrepareDocument(dir, "lo-ja-full.doc", false);
  const auto link = dir.Path() / "link.doc";
  const auto second = dir.Path() / "second.doc";
  std::filesystem::create_symlink(file, link);
  std::filesystem::create_hard_link(file, second);
  ASSERT_TRUE(test::Apply(link, ChangeRequest::Batch(BatchOf({{catalogue::kTitle, "リンク経由"}}))));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(std::filesystem::hard_link_count(file), 2u);
  for (const auto& name : {file, link, second}) {
    EXPECT_EQ(worddoc::ReadBinaryPropertyRows(name.string()).at(catalogue::kTitle), "リンク経由") << name;
  }
}

// A package: both parts carry the values, every CRC is right, and the read-only and hidden bits
// and the picker times survive the package being replaced by its rewritten copy.
TEST(SingleChange, AReadOnlyHiddenPackage) {
  const test::ScopedTimeZone tokyo("Asia/Tokyo");
  const test::TempDir dir;
  const auto file = test::PrepareDocument(dir, "lo-ja-full.docx", false);
  ASSERT_TRUE(fs::SetFileAttributes(file, fs::kAttributeReadOnly | fs::kAttributeHidden));
  using enum AttributeChoice;
  ASSERT_TRUE(test::Apply(file, ChangeRequest::Single(kSingleValues, Pickers(), Choices(Set, Clear, Set, Clear))));

  const auto after = test::TakeFileSnapshot(file);  // before the reader below touches the file
  const auto parts = PackageProperties(file);
  if (!parts) GTEST_SKIP() << "Debian's python3 is not installed";
  const std::map<std::string, std::string> expected = {
      {"testzip", "None"},
      {"dc:title", "  新しい題名 \t"},  // package text rows are stored as typed
      {"dc:subject", "新しい件名"},
      {"dc:creator", "作成者"},
      {"cp:keywords", "キーワード"},
      {"dc:description", "一行目\\n二行目"},
      {"cp:category", "分類"},
      {"cp:revision", "7"},
      {"cp:lastModifiedBy", "更新者"},
      {"dcterms:created", "2021-04-01T00:15:30Z"},
      {"dcterms:modified", "2023-06-15T09:45:10Z"},
      {"cp:lastPrinted", "2023-06-10T03:00:00Z"},
      {"ep:Manager", "管理者の名前"},
      {"ep:Company", "会社名"},
      {"ep:TotalTime", "45"}};
  EXPECT_EQ(*parts, expected);
  EXPECT_FALSE(test::OwnerWritable(file));
  EXPECT_EQ(test::ShownAttributes(file), fs::kAttributeReadOnly | fs::kAttributeHidden);
  if (const auto blob = test::ReadDosAttrib(file)) {
    EXPECT_EQ(blob->attributes & fs::kAttributeHidden, fs::kAttributeHidden);
  }
  EXPECT_EQ(test::ToString(after.lastWrite), test::ToString(test::InstantOf(kLastWrite)));
  EXPECT_EQ(test::ToString(after.lastAccess), test::ToString(test::InstantOf(kLastAccess)));
  ExpectCreation(file, test::InstantOf(kCreation));
}

}  // namespace
}  // namespace kestrel::change
