// The single tab's change asks for exactly what differs from what was shown after the read: a
// row, a time part or a box left alone keeps the document's own value.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "change/ApplyChange.h"

namespace kestrel::change {
namespace {

using catalogue::AttributeChoice;
using enum AttributeChoice;

SingleTab Shown() {
  SingleTab tab;
  for (std::size_t row = 0; row < tab.values.size(); ++row) tab.values.at(row) = "value " + std::to_string(row);
  tab.pickers = {40000, 0.25, 41000, 0.5, 42000, 0.75};
  tab.attributes = {Set, Clear, Clear, Set};
  return tab;
}

struct Case {
  const char* what;
  std::function<void(SingleTab& shown, SingleTab& now)> edit;
  std::vector<std::size_t> rows;  // included
  std::array<bool, 6> parts;      // checked: creation date, time, last write date, time, last access date, time
  catalogue::AttributeChoices attributes;
};

TEST(EditedRequest, AsksForWhatDiffersOnly) {
  const std::vector<Case> cases = {
      {"nothing edited", [](SingleTab&, SingleTab&) {}, {}, {}, {Keep, Keep, Keep, Keep}},
      {"the title", [](SingleTab&, SingleTab& now) { now.values[0] = "new"; }, {0}, {}, {Keep, Keep, Keep, Keep}},
      {"a row emptied", [](SingleTab&, SingleTab& now) { now.values[13] = ""; }, {13}, {}, {Keep, Keep, Keep, Keep}},
      {"the creation date", [](SingleTab&, SingleTab& now) { now.pickers.creationDate = 40001; }, {},
       {true, false, false, false, false, false}, {Keep, Keep, Keep, Keep}},
      {"the last-write time of day", [](SingleTab&, SingleTab& now) { now.pickers.lastWriteTime = 0.6; }, {},
       {false, false, false, true, false, false}, {Keep, Keep, Keep, Keep}},
      {"a time that could not be shown: both parts",
       [](SingleTab& shown, SingleTab& now) {
         shown.timesShown[2] = false;
         now.pickers.lastAccessTime = 0.1;
       },
       {}, {false, false, false, false, true, true}, {Keep, Keep, Keep, Keep}},
      {"a time not shown and not edited", [](SingleTab& shown, SingleTab&) { shown.timesShown[0] = false; }, {}, {},
       {Keep, Keep, Keep, Keep}},
      {"two boxes", [](SingleTab&, SingleTab& now) { now.attributes.readOnly = Clear, now.attributes.hidden = Set; }, {},
       {}, {Clear, Keep, Set, Keep}},
      {"a box grayed by the user", [](SingleTab&, SingleTab& now) { now.attributes.archive = Keep; }, {}, {},
       {Keep, Keep, Keep, Keep}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SingleTab shown = Shown();
    SingleTab now = Shown();
    c.edit(shown, now);
    const ChangeRequest request = ChangeRequest::Edited(shown, now);
    for (std::size_t row = 0; row < now.values.size(); ++row) {
      const bool included = std::find(c.rows.begin(), c.rows.end(), row) != c.rows.end();
      EXPECT_EQ(request.rows.included.at(row), included) << "row " << row;
      EXPECT_EQ(request.rows.values.at(row), now.values.at(row)) << "row " << row;
    }
    const auto& t = request.times;
    const std::array<bool, 6> parts = {t.creationDate.checked,  t.creationTime.checked,   t.lastWriteDate.checked,
                                       t.lastWriteTime.checked, t.lastAccessDate.checked, t.lastAccessTime.checked};
    EXPECT_EQ(parts, c.parts);
    EXPECT_EQ(t.creationDate.picker, now.pickers.creationDate);
    EXPECT_EQ(t.lastAccessTime.picker, now.pickers.lastAccessTime);
    const auto& a = request.attributes;
    EXPECT_EQ(std::vector({a.readOnly, a.archive, a.hidden, a.system}),
              std::vector({c.attributes.readOnly, c.attributes.archive, c.attributes.hidden, c.attributes.system}));
  }
}

}  // namespace
}  // namespace kestrel::change
