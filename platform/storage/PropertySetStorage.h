#pragma once
// Property sets of a compound file, addressed by FMTID as the stream that holds them. Reading
// takes the set's own section even when another section of its stream is damaged; a change is
// planned wholly in memory, and whoever commits the document writes the planned stream.
// Nothing here throws except std::bad_alloc.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/Outcome.h"
#include "platform/storage/CompoundFile.h"
#include "platform/storage/Guid.h"
#include "platform/storage/PropertySetStream.h"

namespace kestrel::storage {

// "\005SummaryInformation", "\005DocumentSummaryInformation" (also for the user-defined
// properties), otherwise "\005" and the FMTID written in the 26-character form of the property
// set naming rule.
std::u16string PropertySetStreamName(const Guid& fmtid);

// The parsed stream of the set, or nullopt when the stream is absent, unreadable or its header
// damaged, or its section for `fmtid` is absent or damaged. Other sections of the stream may be
// damaged. Fails (Unsupported, naming the stream and its size) for a stream larger than any
// property set, which is never read.
Result<std::optional<PropertySetStream>> ReadPropertySet(const CompoundFile& file, const Guid& fmtid);

// The new content of the stream holding one set, with every assignment applied.
struct PropertySetUpdate {
  std::optional<EntryId> stream;  // the existing stream, or nullopt: create it under the root as `name`
  std::u16string name;
  std::vector<std::uint8_t> content;
  bool changed = false;  // false when every value already is as asked (content is the old bytes)
};

// Plans the change of the set `fmtid`, reading `file` only. A missing stream is created (its
// sections in code page 932 unless the text needs 1200; the user-defined section comes after a
// document summary one) and a missing section added; a text a section's code page cannot hold
// switches that section to 1200. Fails, naming the set and the place, when the stream or the
// section is damaged (Damaged), the stream is larger than any property set or holds something
// we do not rewrite (Unsupported) or a value cannot be stored (InvalidValue); the file is never
// touched either way.
Result<PropertySetUpdate> PlanPropertySetUpdate(const CompoundFile& file, const Guid& fmtid,
                                                std::span<const PropertyAssignment> assignments);

// The change of one section: properties removed (with their dictionary names), then values set,
// then dictionary entries added or renamed.
struct SectionChange {
  Guid fmtid;
  std::vector<std::uint32_t> removals;
  std::vector<PropertyAssignment> assignments;
  std::vector<DictionaryEntry> names;
  // The section goes once a removal leaves it nothing besides its code page and dictionary.
  bool dropWhenEmpty = false;
};

// The same for sections that share one stream (the document summary and the user-defined
// sections), applied in order to the one stream. A section is added only for values or names to
// store; values already stored as asked are not written again.
Result<PropertySetUpdate> PlanPropertySetUpdate(const CompoundFile& file, std::span<const SectionChange> changes);

}  // namespace kestrel::storage
