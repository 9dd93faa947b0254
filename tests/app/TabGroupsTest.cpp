// The groups both tabs are built from: the file-time pickers with their boxes and the attribute
// boxes, as the services take their values and as they show them.
#include <QCheckBox>
#include <QDateEdit>
#include <QTimeEdit>

#include <gtest/gtest.h>

#include "app/AttributeBoxes.h"
#include "app/FileTimesGroup.h"
#include "app/PickerValues.h"
#include "platform/fs/FileState.h"

namespace kestrel::app::test {
namespace {

using catalogue::AttributeChoice;
using catalogue::FileTimeChoices;
using catalogue::TimePartChoice;

// Date parts at even places, time parts at odd ones.
constexpr std::array<TimePartChoice FileTimeChoices::*, 6> kParts = {
    &FileTimeChoices::creationDate,  &FileTimeChoices::creationTime,   &FileTimeChoices::lastWriteDate,
    &FileTimeChoices::lastWriteTime, &FileTimeChoices::lastAccessDate, &FileTimeChoices::lastAccessTime};

TEST(FileTimesGroup, TheBatchGroupGivesBackTheBoxesAndValuesItShows) {
  FileTimesGroup group(Tab::Batch, nullptr);
  FileTimeChoices shown;
  for (std::size_t i = 0; i < kParts.size(); ++i) {
    // Dates on whole days, times of day on 1899-12-30, each part a value of its own.
    const double value = i % 2 == 0 ? 44287.0 + static_cast<double>(i) : static_cast<double>(i) / 8;
    shown.*kParts.at(i) = {i % 3 != 0, value};
  }
  group.ShowChoices(shown);
  const FileTimeChoices back = group.Choices();
  for (std::size_t i = 0; i < kParts.size(); ++i) {
    EXPECT_EQ((back.*kParts.at(i)).checked, (shown.*kParts.at(i)).checked) << i;
    EXPECT_DOUBLE_EQ((back.*kParts.at(i)).picker, (shown.*kParts.at(i)).picker) << i;
  }
  // An unchecked box leaves its picker unusable.
  for (const QCheckBox* box : group.findChildren<QCheckBox*>()) {
    const auto* picker = group.findChild<QWidget*>(box->objectName().chopped(3));
    ASSERT_NE(picker, nullptr) << box->objectName().toStdString();
    EXPECT_EQ(picker->isEnabled(), box->isChecked()) << box->objectName().toStdString();
  }
}

TEST(FileTimesGroup, TheSingleGroupSetsEveryPartAndKeepsWhatItCannotShow) {
  FileTimesGroup group(Tab::Single, nullptr);
  EXPECT_TRUE(group.findChildren<QCheckBox*>().isEmpty());
  group.ShowTime(FileTimesGroup::LastWrite, 44288.25);    // 2021/04/02 6:00
  group.ShowTime(FileTimesGroup::LastWrite, -3000000.0);  // before the year 1: left as it was
  const FileTimeChoices choices = group.Choices();
  for (const auto part : kParts) EXPECT_TRUE((choices.*part).checked);
  const change::SinglePickers pickers = group.Pickers();
  EXPECT_DOUBLE_EQ(pickers.lastWriteDate, 44288.0);
  EXPECT_DOUBLE_EQ(pickers.lastWriteTime, TimeValue(QTime(6, 0)));
  EXPECT_DOUBLE_EQ(pickers.creationDate, choices.creationDate.picker);
  // No times: every date picker is blank.
  group.ShowNoTimes();
  for (const QDateEdit* date : group.findChildren<QDateEdit*>()) EXPECT_EQ(date->text(), QStringLiteral(" "));
  for (const QTimeEdit* time : group.findChildren<QTimeEdit*>()) EXPECT_EQ(time->time(), QTime(0, 0));
}

TEST(FileTimesGroup, TheBatchGroupTakesThePickersOfTheSingleGroup) {
  FileTimesGroup single(Tab::Single, nullptr);
  FileTimesGroup batch(Tab::Batch, nullptr);
  single.ShowTime(FileTimesGroup::Creation, 44287.5);
  single.ShowTime(FileTimesGroup::LastAccess, 44289.75);
  FileTimeChoices unchecked;
  batch.ShowChoices(unchecked);
  batch.ShowPickersOf(single);
  const FileTimeChoices from = single.Choices();
  const FileTimeChoices to = batch.Choices();
  for (const auto part : kParts) {
    EXPECT_DOUBLE_EQ((to.*part).picker, (from.*part).picker);
    EXPECT_FALSE((to.*part).checked) << "the boxes stay as they were";
  }
}

TEST(AttributeBoxes, GiveBackTheChoicesTheyShowAndShowEachBitInItsOwnBox) {
  AttributeBoxes boxes(Tab::Batch, nullptr);
  EXPECT_EQ(boxes.Choices().readOnly, AttributeChoice::Keep) << "they start grayed";
  const catalogue::AttributeChoices shown = {AttributeChoice::Set, AttributeChoice::Keep, AttributeChoice::Clear,
                                             AttributeChoice::Set};
  boxes.ShowChoices(shown);
  const catalogue::AttributeChoices back = boxes.Choices();
  EXPECT_EQ(back.readOnly, shown.readOnly);
  EXPECT_EQ(back.archive, shown.archive);
  EXPECT_EQ(back.hidden, shown.hidden);
  EXPECT_EQ(back.system, shown.system);

  boxes.ShowAttributes(fs::kAttributeArchive | fs::kAttributeHidden);
  const catalogue::AttributeChoices bits = boxes.Choices();
  EXPECT_EQ(bits.readOnly, AttributeChoice::Clear);
  EXPECT_EQ(bits.archive, AttributeChoice::Set);
  EXPECT_EQ(bits.hidden, AttributeChoice::Set);
  EXPECT_EQ(bits.system, AttributeChoice::Clear);
}

}  // namespace
}  // namespace kestrel::app::test
