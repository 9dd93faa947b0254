#pragma once
// The change of one document: its properties, its three file times and its four attribute bits,
// from the values of the single tab or of the batch tab.
// Nothing here throws.

#include <memory>
#include <span>
#include <string>

#include "catalogue/ChangeChoices.h"
#include "catalogue/OtherProperties.h"
#include "catalogue/PersonalInformation.h"
#include "catalogue/PropertyRows.h"
#include "ooxml/PackageProperties.h"
#include "platform/Outcome.h"
#include "platform/time/FileTime.h"

namespace kestrel::change {

// The single tab's six pickers: each time is the date part of its date picker plus the time part
// of its time picker.
struct SinglePickers {
  time::LocalDateTime creationDate = 0, creationTime = 0;
  time::LocalDateTime lastWriteDate = 0, lastWriteTime = 0;
  time::LocalDateTime lastAccessDate = 0, lastAccessTime = 0;
};

// Everything the single tab holds: the 14 row texts, the six pickers (with whether each of the
// three times could be shown at all) and the four attribute boxes.
struct SingleTab {
  std::array<std::string, catalogue::kRowCount> values;
  SinglePickers pickers;
  std::array<bool, 3> timesShown = {true, true, true};  // creation, last write, last access
  catalogue::AttributeChoices attributes;
};

// The two change flavours differ only in the values they carry, so a request is just those values:
// Single writes every row and sets the three times from the six pickers; Batch writes the included
// rows and changes a time only where one of its boxes is checked.
struct ChangeRequest {
  catalogue::PropertyRows rows;
  catalogue::FileTimeChoices times;
  catalogue::AttributeChoices attributes;
  catalogue::OtherEdits others;  // custom properties, template and hyperlink base

  static ChangeRequest Single(const std::array<std::string, catalogue::kRowCount>& values,
                              const SinglePickers& pickers, const catalogue::AttributeChoices& attributes);
  // The single tab's change: what differs between the tab as it was shown after the document was
  // read and as it is now is written as Single writes it; every other row, time part and bit
  // keeps what the document holds, exactly. A time that could not be shown is set whole (date and
  // time of day) once either of its pickers was edited.
  static ChangeRequest Edited(const SingleTab& shown, const SingleTab& now);
  static ChangeRequest Batch(const catalogue::BatchValues& values);
  // Removing personal information: each item removed, nothing else changed (times, attributes).
  static ChangeRequest Removal(std::span<const catalogue::PersonalItem> items);
};

// One transaction: everything the document must end with (its properties, prepared and checked
// in memory; its permission bits, owner, attribute store and three times) is decided first, and
// the change is refused untouched when any of it could not be kept (not our document, a bit or
// time its file system cannot store). Then it is written in one commit (one copy-on-write switch
// of a compound file, one rewrite of a package whose new file has its whole state before it takes
// the name). A time whose boxes are all clear keeps the exact instant it had. A read-only document
// is never left writable. A change that would store only what the document already holds (every
// property's bytes, the statistics block, the times to the nanosecond, the attribute word) writes
// nothing and syncs nothing: Outcome::AlreadySo. Success means the bits and the creation time
// read back as asked; a failure names what failed. Never throws.
Outcome ApplyChange(ooxml::PackageProperties& packages, const std::string& path, const ChangeRequest& request);

// ApplyChange in its two halves, so that a backup can go between them: the document taken up and
// everything planned (its reading lock held, nothing written), then the write.
class PreparedChange {
 public:
  PreparedChange(PreparedChange&&) noexcept;
  PreparedChange& operator=(PreparedChange&&) noexcept;
  ~PreparedChange();

  // The document already holds everything asked for: Write would write nothing.
  bool AlreadySo() const;
  // Write puts a new file in the document's place, in its folder (see fs::FolderHolding).
  bool WritesNewFile() const;
  // Writes the plan and checks what reads back, as ApplyChange; AlreadySo without writing.
  // `steps.beforeChange` runs right before the document changes, also when only its times or
  // attributes do; with FolderSync::ByCaller the caller makes a new file's name durable before
  // it reports the change.
  Outcome Write(const fs::CommitSteps& steps = {});

 private:
  friend Result<PreparedChange> PrepareChange(ooxml::PackageProperties&, const std::string&, const ChangeRequest&);
  struct Plan;
  explicit PreparedChange(std::unique_ptr<Plan> plan);
  std::unique_ptr<Plan> plan_;
};

// The first half: fails with every refusal ApplyChange finds before it writes (missing, held open,
// unreadable, a value that cannot be stored, a state that could not be kept). The document answers
// through `packages` until the change is written or dropped.
Result<PreparedChange> PrepareChange(ooxml::PackageProperties& packages, const std::string& path,
                                     const ChangeRequest& request);

}  // namespace kestrel::change
