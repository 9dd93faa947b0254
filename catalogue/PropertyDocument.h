#pragma once
// One document taken up once (opened with its lock, its kind decided from its name) and asked by
// whoever holds it: its rows, whether a change would store anything new, and that change. Compound
// files and packages each answer behind this one interface, so nothing above them asks which kind
// a document is. One question at a time; nothing here throws.

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/OtherProperties.h"
#include "catalogue/PropertyRows.h"
#include "platform/Outcome.h"
#include "platform/fs/ReplacementFile.h"

namespace kestrel::catalogue {

using PropertyTexts = std::array<std::string, kRowCount>;

struct DocumentRows {
  std::optional<PropertyTexts> texts;  // nullopt: nothing of the document can be shown
  Outcome outcome = Outcome::Success();  // why the texts are missing, or are empty
};

class PropertyDocument {
 public:
  virtual ~PropertyDocument() = default;

  // The 14 texts in catalogue order. The document is never changed.
  virtual DocumentRows Rows() = 0;

  // Every property the document stores beyond the 14 rows: the custom ones in stored order, then
  // the others. Empty when it stores none; a failure when the rows cannot be read either. The
  // document is never changed.
  virtual Result<std::vector<OtherProperty>> OtherProperties() = 0;

  // Plans in memory the change of the included rows and the other edits: true when it would store
  // anything new, false when every row and property already holds its value; otherwise why the
  // change is refused. Writes nothing. The plan checks in memory that what it would store reads
  // back as asked: every included row, and the custom properties as CustomAfterEdits gives them.
  virtual Result<bool> Plan(const PropertyRows& rows, const OtherEdits& others) = 0;
  Result<bool> Plan(const PropertyRows& rows) { return Plan(rows, OtherEdits{}); }

  // Whether writing the plan puts a new file in the document's place rather than writing into it:
  // what the file's planned end state must be made for.
  virtual bool WritesNewFile() const = 0;

  // Writes the last plan so that the document ends with `state` (permission bits, attribute store,
  // three times). `steps.beforeChange` runs once everything new is ready, right before the
  // document changes; its failure is the write's. A new file leaves its folder's sync to the caller
  // when `steps` says so. A failure leaves the document as it was and names what failed.
  virtual Outcome Write(const fs::FileRecord& state, const fs::CommitSteps& steps) = 0;
  Outcome Write(const fs::FileRecord& state) { return Write(state, fs::CommitSteps{}); }
};

}  // namespace kestrel::catalogue
