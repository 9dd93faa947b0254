#pragma once
// What the two tabs ask a change to do besides writing properties: the six file-time parts and
// the four attribute boxes, as plain values taken from the widgets at the moment of the call.
// Nothing here throws.

#include <algorithm>

#include "catalogue/PropertyRows.h"
#include "platform/time/FileTime.h"

namespace kestrel::catalogue {

// A three-state attribute box.
enum class AttributeChoice {
  Clear,  // unchecked: the bit is cleared
  Keep,   // grayed: the bit stays as the document has it
  Set,    // checked: the bit is set
};

struct AttributeChoices {
  AttributeChoice readOnly = AttributeChoice::Keep;  // 0x01
  AttributeChoice archive = AttributeChoice::Keep;   // 0x20
  AttributeChoice hidden = AttributeChoice::Keep;    // 0x02
  AttributeChoice system = AttributeChoice::Keep;    // 0x04
};

// One picker with its box: when checked, the picker's date part (of a date picker) or time part
// (of a time picker) replaces that part of the file time.
struct TimePartChoice {
  bool checked = false;
  time::LocalDateTime picker = 0;
};

// The batch tab's six boxes with their pickers. The single tab is the case with every box checked.
struct FileTimeChoices {
  TimePartChoice creationDate, creationTime;
  TimePartChoice lastWriteDate, lastWriteTime;
  TimePartChoice lastAccessDate, lastAccessTime;
};

// Everything the batch tab holds (and the presets keep).
struct BatchValues {
  PropertyRows rows;
  FileTimeChoices times;
  AttributeChoices attributes;
  bool backup = false;
};

// Whether the values ask for anything, as a batch run checks before it starts: a checked time box,
// an attribute box that is not grayed, or a checked row. The backup option alone asks for nothing.
inline bool AsksForChange(const BatchValues& values) {
  const FileTimeChoices& times = values.times;
  const bool timeBox = times.creationDate.checked || times.creationTime.checked || times.lastWriteDate.checked ||
                       times.lastWriteTime.checked || times.lastAccessDate.checked || times.lastAccessTime.checked;
  const AttributeChoices& attributes = values.attributes;
  const bool attributeBox = attributes.readOnly != AttributeChoice::Keep ||
                            attributes.archive != AttributeChoice::Keep ||
                            attributes.hidden != AttributeChoice::Keep || attributes.system != AttributeChoice::Keep;
  const auto& included = values.rows.included;
  const bool row = std::any_of(included.begin(), included.end(), [](bool on) { return on; });
  return timeBox || attributeBox || row;
}

}  // namespace kestrel::catalogue
