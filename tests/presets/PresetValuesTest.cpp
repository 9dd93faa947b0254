#include "presets/PresetValues.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/time/LocalDateTime.h"

namespace kestrel::presets {
namespace {

using catalogue::AttributeChoice;
using catalogue::BatchValues;
using catalogue::TimePartChoice;
using time::LocalDateTime;
using RowTexts = std::array<std::string, catalogue::kRowCount>;

// The per-user key as a map; remembers the order of the writes.
class MapStore : public PresetStore {
 public:
  std::string Read(std::string_view name) const override {
    const auto found = values.find(name);
    return found == values.end() ? std::string() : found->second;
  }
  void Write(std::string_view name, const std::string& value) override {
    values.insert_or_assign(std::string(name), value);
    writes.emplace_back(name);
  }

  std::map<std::string, std::string, std::less<>> values;
  std::vector<std::string> writes;
};

LocalDateTime At(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int millisecond = 0) {
  return time::EncodeLocalDateTime({year, month, day, hour, minute, second, millisecond}).value();
}

// Written out here so that a renamed caption or value name shows up.
const std::vector<std::string> kSaveOrder = {
    "createtime", "createtimecheckdate", "createtimechecktime",
    "modifytime", "modifytimecheckdate", "modifytimechecktime",
    "accesstime", "accesstimecheckdate", "accesstimechecktime",
    "readonly", "archive", "hidden", "contentindex",
    "タイトルstring", "タイトルcheck", "表題string", "表題check", "作成者string", "作成者check",
    "キーワードstring", "キーワードcheck", "コメントstring", "コメントcheck",
    "カテゴリーstring", "カテゴリーcheck", "改訂番号string", "改訂番号check",
    "前回保存者string", "前回保存者check", "管理者string", "管理者check", "会社名string", "会社名check",
    "作成日時string", "作成日時check", "前回保存日時string", "前回保存日時check",
    "編集時間string", "編集時間check", "前回印刷日時string", "前回印刷日時check",
    "backupold"};

// Every box checked, every attribute grayed, rows already in their normal form: each edge case
// below changes one thing.
BatchValues SomeValues() {
  BatchValues values;
  values.times.creationDate = {true, At(2010, 3, 15, 23, 59, 59)};
  values.times.creationTime = {true, At(1999, 1, 1, 9, 5, 30)};
  values.times.lastWriteDate = {true, At(2011, 4, 1, 8)};
  values.times.lastWriteTime = {true, At(2011, 4, 2)};
  values.times.lastAccessDate = {true, At(2012, 12, 31, 12)};
  values.times.lastAccessTime = {true, At(2000, 6, 6, 23, 59, 59)};
  values.rows.values = RowTexts{"題名 \"引用\"", "表題", "作成者", "a, b", "一行目\r\n二行目", "", "12", "保存者",
                                "管理者", "社名", "2010/03/15 9:05:00", "2011/04/01", "90", ""};
  values.rows.included.fill(true);
  return values;
}

BatchValues SavedAndImported(const BatchValues& values, LocalDateTime now, MapStore& store) {
  SavePreset(store, values);
  return ImportPreset(store, now);
}

std::vector<TimePartChoice> Boxes(const BatchValues& values) {
  const catalogue::FileTimeChoices& t = values.times;
  return {t.creationDate, t.creationTime, t.lastWriteDate, t.lastWriteTime, t.lastAccessDate, t.lastAccessTime};
}

std::vector<bool> Checks(const BatchValues& values) {
  std::vector<bool> checks;
  for (const TimePartChoice& box : Boxes(values)) checks.push_back(box.checked);
  return checks;
}

const LocalDateTime kNow = At(2024, 5, 6, 7, 8, 9, 500);
const std::string kNowToTheMinute = "2024/05/06 7:08:00";

TEST(PresetSave, WritesEveryValueOnceInTheFixedOrder) {
  MapStore store;
  SavePreset(store, SomeValues());
  EXPECT_EQ(store.writes, kSaveOrder);
  EXPECT_EQ(store.values.size(), kSaveOrder.size());
}

TEST(PresetSave, WritesDateTimeTextChecksCodesRowsAndBackupAsStrings) {
  MapStore store;
  SavePreset(store, SomeValues());
  // The date of the date picker with the time of day of the time picker; no time at midnight.
  EXPECT_EQ(store.values.at("createtime"), "2010/03/15 9:05:30");
  EXPECT_EQ(store.values.at("modifytime"), "2011/04/01");
  EXPECT_EQ(store.values.at("accesstime"), "2012/12/31 23:59:59");
  for (const char* check : {"createtimecheckdate", "createtimechecktime", "modifytimecheckdate",
                            "modifytimechecktime", "accesstimecheckdate", "accesstimechecktime"}) {
    EXPECT_EQ(store.values.at(check), "1") << check;
  }
  for (const char* attribute : {"readonly", "archive", "hidden", "contentindex"}) {
    EXPECT_EQ(store.values.at(attribute), "0") << attribute;
  }
  EXPECT_EQ(store.values.at("タイトルstring"), "題名 \"引用\"");
  EXPECT_EQ(store.values.at("コメントstring"), "一行目\r\n二行目");
  EXPECT_EQ(store.values.at("カテゴリーstring"), "");
  EXPECT_EQ(store.values.at("前回印刷日時string"), "");
  EXPECT_EQ(store.values.at("タイトルcheck"), "1");
  EXPECT_EQ(store.values.at("backupold"), "");
}

TEST(PresetSave, ASecondSaveReplacesEveryValue) {
  MapStore store;
  SavePreset(store, SomeValues());
  BatchValues other = SomeValues();
  other.rows.values.fill("");
  other.rows.included.fill(false);
  other.backup = true;
  SavePreset(store, other);
  EXPECT_EQ(store.values.size(), kSaveOrder.size());
  EXPECT_EQ(store.values.at("タイトルstring"), "");
  EXPECT_EQ(store.values.at("タイトルcheck"), "0");
  EXPECT_EQ(store.values.at("backupold"), "1");
}

TEST(PresetRoundTrip, BringsBackWhatWasSaved) {
  MapStore store;
  const BatchValues saved = SomeValues();
  const BatchValues imported = SavedAndImported(saved, kNow, store);
  const RowTexts expected = {"題名 \"引用\"", "表題", "作成者", "a, b", "一行目\r\n二行目", "", "12", "保存者",
                             "管理者", "社名", "2010/03/15 9:05:00", "2011/04/01", "90", ""};
  EXPECT_EQ(imported.rows.values, expected);
  EXPECT_EQ(imported.rows.included, saved.rows.included);
  // Both pickers of a group get the composed value, seconds included.
  const std::vector<TimePartChoice> boxes = Boxes(imported);
  EXPECT_EQ(boxes[0].picker, At(2010, 3, 15, 9, 5, 30));
  EXPECT_EQ(boxes[1].picker, At(2010, 3, 15, 9, 5, 30));
  EXPECT_EQ(boxes[2].picker, At(2011, 4, 1));
  EXPECT_EQ(boxes[3].picker, At(2011, 4, 1));
  EXPECT_EQ(boxes[4].picker, At(2012, 12, 31, 23, 59, 59));
  EXPECT_EQ(boxes[5].picker, At(2012, 12, 31, 23, 59, 59));
  EXPECT_EQ(Checks(imported), std::vector<bool>(6, true));
  EXPECT_FALSE(imported.backup);
}

// Each box comes back from its own value.
TEST(PresetRoundTrip, OnlyTheCreationDateBoxUnchecked) {
  BatchValues values = SomeValues();
  values.times.creationDate.checked = false;
  MapStore store;
  const BatchValues imported = SavedAndImported(values, kNow, store);
  EXPECT_EQ(store.values.at("createtimecheckdate"), "0");
  EXPECT_EQ(store.values.at("createtimechecktime"), "1");
  EXPECT_EQ(Checks(imported), (std::vector<bool>{false, true, true, true, true, true}));
}

TEST(PresetRoundTrip, EachTimeBoxAloneUnchecked) {
  for (std::size_t unchecked = 0; unchecked < 6; ++unchecked) {
    BatchValues values = SomeValues();
    TimePartChoice* boxes[] = {&values.times.creationDate,   &values.times.creationTime,
                               &values.times.lastWriteDate,  &values.times.lastWriteTime,
                               &values.times.lastAccessDate, &values.times.lastAccessTime};
    boxes[unchecked]->checked = false;
    MapStore store;
    std::vector<bool> expected(6, true);
    expected[unchecked] = false;
    EXPECT_EQ(Checks(SavedAndImported(values, kNow, store)), expected) << "box " << unchecked;
  }
}

TEST(PresetRoundTrip, AttributeBoxesUseTheThreeWayCode) {
  BatchValues values = SomeValues();
  values.attributes = {AttributeChoice::Keep, AttributeChoice::Set, AttributeChoice::Clear, AttributeChoice::Set};
  MapStore store;
  const BatchValues imported = SavedAndImported(values, kNow, store);
  EXPECT_EQ(store.values.at("readonly"), "0");
  EXPECT_EQ(store.values.at("archive"), "1");
  EXPECT_EQ(store.values.at("hidden"), "2");
  // The system box is stored under this name.
  EXPECT_EQ(store.values.at("contentindex"), "1");
  EXPECT_EQ(imported.attributes.readOnly, AttributeChoice::Keep);
  EXPECT_EQ(imported.attributes.archive, AttributeChoice::Set);
  EXPECT_EQ(imported.attributes.hidden, AttributeChoice::Clear);
  EXPECT_EQ(imported.attributes.system, AttributeChoice::Set);

  values.attributes = {AttributeChoice::Clear, AttributeChoice::Clear, AttributeChoice::Keep, AttributeChoice::Clear};
  const BatchValues again = SavedAndImported(values, kNow, store);
  EXPECT_EQ(store.values.at("contentindex"), "2");
  EXPECT_EQ(again.attributes.readOnly, AttributeChoice::Clear);
  EXPECT_EQ(again.attributes.archive, AttributeChoice::Clear);
  EXPECT_EQ(again.attributes.hidden, AttributeChoice::Keep);
  EXPECT_EQ(again.attributes.system, AttributeChoice::Clear);
}

TEST(PresetImport, AnyOtherAttributeCodeLeavesTheBoxGrayed) {
  MapStore store;
  store.values = {{"readonly", "3"}, {"archive", " 1"}, {"hidden", "Y"}, {"contentindex", ""}};
  const BatchValues imported = ImportPreset(store, kNow);
  EXPECT_EQ(imported.attributes.readOnly, AttributeChoice::Keep);
  EXPECT_EQ(imported.attributes.archive, AttributeChoice::Keep);
  EXPECT_EQ(imported.attributes.hidden, AttributeChoice::Keep);
  EXPECT_EQ(imported.attributes.system, AttributeChoice::Keep);
}

TEST(PresetRoundTrip, BackupOptionIsOneOrEmpty) {
  BatchValues values = SomeValues();
  MapStore store;
  values.backup = false;
  EXPECT_FALSE(SavedAndImported(values, kNow, store).backup);
  EXPECT_EQ(store.values.at("backupold"), "");
  values.backup = true;
  EXPECT_TRUE(SavedAndImported(values, kNow, store).backup);
  EXPECT_EQ(store.values.at("backupold"), "1");

  store.values.at("backupold") = "true";
  EXPECT_FALSE(ImportPreset(store, kNow).backup);
}

TEST(PresetImport, TimeBoxesAreUncheckedOnlyByZero) {
  MapStore store;
  store.values = {{"createtimecheckdate", "0"}, {"createtimechecktime", "1"}, {"modifytimecheckdate", ""},
                  {"modifytimechecktime", "2"}, {"accesstimecheckdate", " 0"}};
  EXPECT_EQ(Checks(ImportPreset(store, kNow)), (std::vector<bool>{false, true, true, true, true, true}));
}

TEST(PresetImport, RowsAreCheckedOnlyByOne) {
  MapStore store;
  store.values = {{"タイトルcheck", "1"}, {"表題check", "0"}, {"作成者check", "yes"}, {"前回印刷日時check", "1"},
                  {"キーワードcheck", "1 "}};
  const BatchValues imported = ImportPreset(store, kNow);
  std::array<bool, catalogue::kRowCount> expected{};
  expected[catalogue::kTitle] = true;
  expected[catalogue::kLastPrinted] = true;
  EXPECT_EQ(imported.rows.included, expected);
}

TEST(PresetImport, ADateTimeThatDoesNotParseGivesBothPickersNow) {
  MapStore store;
  store.values = {{"createtime", "15.03.2010 9:05"}, {"modifytime", "2010/03/15 9:05"}, {"accesstime", "2010/02/30"}};
  const std::vector<TimePartChoice> boxes = Boxes(ImportPreset(store, kNow));
  EXPECT_EQ(boxes[0].picker, kNow);
  EXPECT_EQ(boxes[1].picker, kNow);
  EXPECT_EQ(boxes[2].picker, At(2010, 3, 15, 9, 5));
  EXPECT_EQ(boxes[3].picker, At(2010, 3, 15, 9, 5));
  EXPECT_EQ(boxes[4].picker, kNow);
  EXPECT_EQ(boxes[5].picker, kNow);
}

TEST(PresetImport, SavedDatesComeBackToTheMinute) {
  BatchValues values = SomeValues();
  values.rows.values[catalogue::kCreated] = "2009/12/31 23:59:59";
  values.rows.values[catalogue::kLastSaved] = "2010/03/15 9:05:30";
  values.rows.values[catalogue::kLastPrinted] = "2010/03/15 0:00:45";
  MapStore store;
  const BatchValues imported = SavedAndImported(values, kNow, store);
  EXPECT_EQ(imported.rows.Value(catalogue::kCreated), "2009/12/31 23:59:00");
  EXPECT_EQ(imported.rows.Value(catalogue::kLastSaved), "2010/03/15 9:05:00");
  // Seconds dropped at midnight leave the date alone.
  EXPECT_EQ(imported.rows.Value(catalogue::kLastPrinted), "2010/03/15");
}

TEST(PresetImport, EmptyLastPrintedStaysEmptyWhileEmptyDatesBecomeNowToTheMinute) {
  BatchValues values = SomeValues();
  values.rows.values[catalogue::kCreated] = "";
  values.rows.values[catalogue::kLastSaved] = "";
  values.rows.values[catalogue::kLastPrinted] = "";
  MapStore store;
  const BatchValues imported = SavedAndImported(values, kNow, store);
  EXPECT_EQ(imported.rows.Value(catalogue::kCreated), kNowToTheMinute);
  EXPECT_EQ(imported.rows.Value(catalogue::kLastSaved), kNowToTheMinute);
  EXPECT_EQ(imported.rows.Value(catalogue::kLastPrinted), "");
}

TEST(PresetImport, DatesThatDoNotParseBecomeNowToTheMinute) {
  MapStore store;
  store.values = {{"作成日時string", "yesterday"}, {"前回保存日時string", "2010/13/01"}, {"前回印刷日時string", " "}};
  const BatchValues imported = ImportPreset(store, kNow);
  EXPECT_EQ(imported.rows.Value(catalogue::kCreated), kNowToTheMinute);
  EXPECT_EQ(imported.rows.Value(catalogue::kLastSaved), kNowToTheMinute);
  EXPECT_EQ(imported.rows.Value(catalogue::kLastPrinted), kNowToTheMinute);
}

// Now with 59.9996 seconds rounds to the next minute before the seconds are dropped, as the
// date-time text itself rounds to the millisecond.
TEST(PresetImport, NowIsTakenToTheMinuteAfterRoundingToTheMillisecond) {
  const LocalDateTime almost = At(2024, 12, 31, 23, 59, 59, 999) + 0.0006 / 86400.0;
  MapStore store;
  EXPECT_EQ(ImportPreset(store, almost).rows.Value(catalogue::kCreated), "2025/01/01");
}

TEST(PresetImport, CountsAreReadAsDecimalIntegers) {
  struct Case {
    std::string stored;
    std::string expected;
  };
  const Case cases[] = {
      {"abc", "1"},  {"007", "7"},          {"0", "0"},     {"-3", "-3"},       {"+5", "5"},
      {" 42 ", "42"}, {"\t8", "8"},         {"", "1"},      {"1.5", "1"},       {"12abc", "1"},
      {"0x10", "1"}, {"$10", "1"},          {"+", "1"},     {"+-5", "1"},       {"2147483647", "2147483647"},
      {"2147483648", "1"}, {"-2147483648", "-2147483648"}, {"1 2", "1"}, {"１２", "1"},
  };
  for (const Case& c : cases) {
    MapStore store;
    store.values = {{"改訂番号string", c.stored}, {"編集時間string", c.stored}};
    const BatchValues imported = ImportPreset(store, kNow);
    EXPECT_EQ(imported.rows.Value(catalogue::kRevisionNumber), c.expected) << "\"" << c.stored << "\"";
    EXPECT_EQ(imported.rows.Value(catalogue::kEditingTime), c.expected) << "\"" << c.stored << "\"";
  }
}

TEST(PresetImport, OtherRowsAreTakenUnchanged) {
  MapStore store;
  store.values = {{"タイトルstring", "  spaced \"quoted\"  "}, {"コメントstring", "a\nb"},
                  {"会社名string", "007"}, {"キーワードstring", "2010/03/15 9:05:30"}};
  const BatchValues imported = ImportPreset(store, kNow);
  EXPECT_EQ(imported.rows.Value(catalogue::kTitle), "  spaced \"quoted\"  ");
  EXPECT_EQ(imported.rows.Value(catalogue::kComments), "a\nb");
  EXPECT_EQ(imported.rows.Value(catalogue::kCompany), "007");
  EXPECT_EQ(imported.rows.Value(catalogue::kKeywords), "2010/03/15 9:05:30");
}

TEST(PresetImport, AnEmptyStoreGivesTheFirstStartState) {
  const MapStore store;
  const BatchValues values = ImportPreset(store, kNow);
  for (const TimePartChoice& box : Boxes(values)) {
    EXPECT_TRUE(box.checked);
    EXPECT_EQ(box.picker, kNow);
  }
  EXPECT_EQ(values.attributes.readOnly, AttributeChoice::Keep);
  EXPECT_EQ(values.attributes.archive, AttributeChoice::Keep);
  EXPECT_EQ(values.attributes.hidden, AttributeChoice::Keep);
  EXPECT_EQ(values.attributes.system, AttributeChoice::Keep);
  EXPECT_FALSE(values.backup);
  const RowTexts expected = {"", "", "", "", "", "", "1", "", "", "", kNowToTheMinute, kNowToTheMinute, "1", ""};
  EXPECT_EQ(values.rows.values, expected);
  EXPECT_EQ(values.rows.included, (std::array<bool, catalogue::kRowCount>{}));
}

}  // namespace
}  // namespace kestrel::presets
