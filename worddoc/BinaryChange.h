#pragma once
// The change of a compound-file document's properties: every included row converted, both
// property sets (and for a Word document its statistics block) planned in memory, then one commit
// of the compound file, then the values read back. A refused change writes nothing.

#include <memory>
#include <string>

#include "catalogue/OtherProperties.h"
#include "catalogue/PropertyRows.h"
#include "platform/Outcome.h"
#include "platform/storage/CompoundFile.h"

namespace kestrel::worddoc {

// The change planned in memory: the edits one commit makes (none when every value is already
// stored as asked), and the check that every value reads back.
class BinaryChangePlan {
 public:
  BinaryChangePlan();
  ~BinaryChangePlan();
  BinaryChangePlan(BinaryChangePlan&&) noexcept;
  BinaryChangePlan& operator=(BinaryChangePlan&&) noexcept;

  storage::StreamEdits edits;
  // Success when every value asked for reads from `file` as planned, and the custom properties as
  // CustomAfterEdits gives them. Throws std::bad_alloc only.
  Outcome ReadsBack(const storage::CompoundFile& file) const;

 private:
  friend Result<BinaryChangePlan> PlanBinaryChange(const storage::CompoundFile&, const catalogue::PropertyRows&,
                                                   const catalogue::OtherEdits&);
  struct Checks;
  std::unique_ptr<Checks> checks_;
};

// Plans what ChangeBinaryProperties commits, with its refusals; `file` may be open for reading.
// The other edits go into the same commit: custom properties in the user-defined section (created
// after the document summary one when a property is added, dropped when emptied), the template
// and the hyperlink base removed. Never throws.
Result<BinaryChangePlan> PlanBinaryChange(const storage::CompoundFile& file, const catalogue::PropertyRows& rows,
                                          const catalogue::OtherEdits& others = {});

// `file` is open for writing. Success only when every value asked for reads back from the file.
// A compound file with a "WordDocument" stream is a Word document: its statistics block is written
// too, and an encrypted one is refused; with no row included the block is still located, so a
// Word document we cannot write fails. Any other compound file (a workbook, a presentation) gets
// its property sets alone, and is refused (Encrypted) when its properties are kept encrypted
// beside or instead of plain sets. Other failures name what failed: a value that does not convert
// (its conversion message), a property set or statistics block we cannot write, or the commit.
// Never throws.
Outcome ChangeBinaryProperties(storage::CompoundFile& file, const catalogue::PropertyRows& rows,
                               const catalogue::OtherEdits& others = {});

// The same on a path: opens the document for writing (exclusively) for the length of the call.
Outcome ChangeBinaryProperties(const std::string& path, const catalogue::PropertyRows& rows,
                               const catalogue::OtherEdits& others = {});

}  // namespace kestrel::worddoc
