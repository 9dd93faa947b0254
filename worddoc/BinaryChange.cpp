#include "worddoc/BinaryChange.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <vector>

#include "platform/storage/PropertySetStorage.h"
#include "platform/text/Blanks.h"
#include "worddoc/BinaryOtherProperties.h"
#include "worddoc/DopStatistics.h"
#include "worddoc/PropertyText.h"
#include "worddoc/WordFib.h"

namespace kestrel::worddoc {

namespace {

using storage::PropertyAssignment;

// The assignments of one property set, in catalogue order.
struct SetAssignments {
  storage::Guid fmtid;
  std::vector<PropertyAssignment> assignments;
};

Result<std::vector<SetAssignments>> ConvertRows(const catalogue::PropertyRows& rows) {
  std::vector<SetAssignments> sets;
  for (int row = 0; row < catalogue::kRowCount; ++row) {
    if (!rows.Included(row)) continue;
    const auto& entry = catalogue::Catalogue().Row(row);
    const std::string text(text::TrimSpaceAndControls(rows.Value(row)));
    const auto style = row == catalogue::kEditingTime ? FileTimeStyle::Minutes : FileTimeStyle::DateTime;
    Result<storage::PropertyValue> value = PropertyValueFromText(entry.valueType, text, style);
    if (!value) return value.outcome();
    const storage::Guid fmtid = FmtidOf(entry.propertySet);
    auto set = std::find_if(sets.begin(), sets.end(), [&](const SetAssignments& s) { return s.fmtid == fmtid; });
    if (set == sets.end()) set = sets.insert(sets.end(), SetAssignments{fmtid, {}});
    set->assignments.push_back({static_cast<std::uint32_t>(entry.propertyId), std::move(*value)});
  }
  return sets;
}

// What a stored value reads as when it holds what was asked: text is cut at its first NUL, as
// the stream keeps it.
bool SameValue(const storage::PropertyValue& stored, const storage::PropertyValue& asked) {
  if (stored.type != asked.type) return false;
  switch (asked.type) {
    case storage::kVtLpstr:
    case storage::kVtLpwstr:
      return stored.text == asked.text.substr(0, asked.text.find('\0'));
    case storage::kVtNull:
      return true;
    default:
      return stored.integer == asked.integer;
  }
}

Outcome CheckReadBack(const storage::CompoundFile& file, const std::vector<SetAssignments>& sets,
                      const std::optional<DopDatesPatch>& dop) {
  for (const SetAssignments& set : sets) {
    const auto stream = storage::ReadPropertySet(file, set.fmtid);
    for (const PropertyAssignment& assignment : set.assignments) {
      const auto stored = stream && *stream ? (*stream)->Read(set.fmtid, assignment.pid) : std::nullopt;
      if (!stored || !SameValue(*stored, assignment.value)) {
        return Outcome::Failure(FailureKind::Io, "property " + std::to_string(assignment.pid) + " of " +
                                                     set.fmtid.ToString() + " did not read back as written");
      }
    }
  }
  if (!dop) return Outcome::Success();
  const auto block = file.ReadStreamRange(dop->stream, dop->offset, dop->bytes.size());
  if (!block || !std::equal(block->begin(), block->end(), dop->bytes.begin(), dop->bytes.end())) {
    return Outcome::Failure(FailureKind::Io, "the statistics block did not read back as written");
  }
  return Outcome::Success();
}

// Encrypted workbooks and presentations may keep their real property sets in an encrypted
// stream, and an encrypted package keeps them inside itself: the plain sets beside them are not
// what Office reads, so they are not written.
Outcome CheckPropertySetsPlain(const storage::CompoundFile& file) {
  if (file.FindChild(storage::kRootEntry, u"EncryptedSummary")) {
    return Outcome::Failure(FailureKind::Encrypted,
                            "encrypted document: its properties are kept in the encrypted EncryptedSummary stream");
  }
  if (file.FindChild(storage::kRootEntry, u"EncryptedPackage")) {
    return Outcome::Failure(FailureKind::Encrypted,
                            "encrypted package: its properties are inside the encrypted EncryptedPackage stream");
  }
  return Outcome::Success();
}

// What may be written into the file: a Word document passes the checks of its FIB, any other
// compound file has no statistics block and needs plain property sets. Nothing is written yet.
Outcome CheckWritable(const storage::CompoundFile& file, bool word) {
  return word ? CheckWordDocumentWritable(file) : CheckPropertySetsPlain(file);
}

// What the other edits must leave: the custom list, and the template and hyperlink base gone.
struct OthersAfter {
  std::vector<catalogue::OtherProperty> custom;
  bool noTemplate = false;
  bool noHyperlinkBase = false;
};

Outcome CheckOthersReadBack(const storage::CompoundFile& file, const OthersAfter& expected) {
  const Result<std::vector<catalogue::OtherProperty>> read = ReadBinaryOtherProperties(file);
  if (!read) return read.outcome();
  std::vector<catalogue::OtherProperty> custom;
  std::copy_if(read->begin(), read->end(), std::back_inserter(custom), [](const auto& p) { return p.custom; });
  if (custom != expected.custom) return Outcome::Failure(FailureKind::Io, "the custom properties did not read back as written");
  const auto has = [&](std::string_view key) {
    return std::any_of(read->begin(), read->end(), [&](const auto& p) { return !p.custom && p.name == key; });
  };
  if ((expected.noTemplate && has("Template")) || (expected.noHyperlinkBase && has("HyperlinkBase"))) {
    return Outcome::Failure(FailureKind::Io, "a removed property still reads back");
  }
  return Outcome::Success();
}

std::vector<PropertyAssignment> AssignmentsOf(const std::vector<SetAssignments>& sets, const storage::Guid& fmtid) {
  auto set = std::find_if(sets.begin(), sets.end(), [&](const SetAssignments& s) { return s.fmtid == fmtid; });
  return set != sets.end() ? set->assignments : std::vector<PropertyAssignment>();
}

// The planned changes of each stream: SummaryInformation, then DocumentSummaryInformation with
// its user-defined section.
Result<std::vector<std::vector<storage::SectionChange>>> PlanStreams(const storage::CompoundFile& file,
                                                                     const std::vector<SetAssignments>& sets,
                                                                     const catalogue::OtherEdits& others,
                                                                     std::optional<OthersAfter>& after) {
  constexpr std::uint32_t kTemplatePid = 7;
  storage::SectionChange summary{storage::kFmtidSummaryInformation, {}, AssignmentsOf(sets, storage::kFmtidSummaryInformation), {}, false};
  if (others.removeTemplate) summary.removals.push_back(kTemplatePid);
  std::vector<storage::SectionChange> docSummary{
      {storage::kFmtidDocSummaryInformation, {}, AssignmentsOf(sets, storage::kFmtidDocSummaryInformation), {}, false}};
  if (!others.Empty()) {
    const Result<std::vector<catalogue::OtherProperty>> before = ReadBinaryOtherProperties(file);
    if (!before) return before.outcome();
    const auto userDefined = storage::ReadPropertySet(file, storage::kFmtidUserDefinedProperties);
    if (!userDefined) return userDefined.outcome();
    Result<storage::SectionChange> custom = PlanCustomChange(*userDefined, others);
    if (!custom) return custom.outcome();
    docSummary.push_back(std::move(*custom));
    after = OthersAfter{catalogue::CustomAfterEdits(*before, others), others.removeTemplate, others.removeHyperlinkBase};
  }
  return std::vector<std::vector<storage::SectionChange>>{{std::move(summary)}, std::move(docSummary)};
}

}  // namespace

struct BinaryChangePlan::Checks {
  std::vector<SetAssignments> sets;
  std::optional<DopDatesPatch> dop;
  std::optional<OthersAfter> others;
};

BinaryChangePlan::BinaryChangePlan() = default;
BinaryChangePlan::~BinaryChangePlan() = default;
BinaryChangePlan::BinaryChangePlan(BinaryChangePlan&&) noexcept = default;
BinaryChangePlan& BinaryChangePlan::operator=(BinaryChangePlan&&) noexcept = default;

Outcome BinaryChangePlan::ReadsBack(const storage::CompoundFile& file) const {
  if (Outcome rows = CheckReadBack(file, checks_->sets, checks_->dop); !rows) return rows;
  return checks_->others ? CheckOthersReadBack(file, *checks_->others) : Outcome::Success();
}

Result<BinaryChangePlan> PlanBinaryChange(const storage::CompoundFile& file, const catalogue::PropertyRows& rows,
                                          const catalogue::OtherEdits& others) {
  try {
    // Nothing is planned, let alone written, for a document we must not write into.
    const bool word = HasWordDocumentStream(file);
    if (Outcome writable = CheckWritable(file, word); !writable) return writable;
    Result<std::vector<SetAssignments>> sets = ConvertRows(rows);
    if (!sets) return sets.outcome();

    BinaryChangePlan plan;
    plan.checks_ = std::make_unique<BinaryChangePlan::Checks>();
    Result<std::vector<std::vector<storage::SectionChange>>> streams = PlanStreams(file, *sets, others, plan.checks_->others);
    if (!streams) return streams.outcome();
    for (const std::vector<storage::SectionChange>& changes : *streams) {
      Result<storage::PropertySetUpdate> update = storage::PlanPropertySetUpdate(file, changes);
      if (!update) return update.outcome();
      if (!update->changed) continue;
      if (update->stream) {
        plan.edits.Replace(*update->stream, std::move(update->content));
      } else {
        plan.edits.Create(storage::kRootEntry, update->name, std::move(update->content));
      }
    }
    if (word) {
      Result<DopDatesPatch> planned = PlanDopDates(file, rows);
      if (!planned) return planned.outcome();
      if (planned->changed) {
        plan.edits.Patch(planned->stream, planned->offset, {planned->bytes.begin(), planned->bytes.end()});
      }
      plan.checks_->dop = *planned;
    }
    plan.checks_->sets = std::move(*sets);
    return plan;
  } catch (const std::bad_alloc&) {
    return Outcome::Failure(FailureKind::Io, "not enough memory to prepare the change");
  }
}

Outcome ChangeBinaryProperties(storage::CompoundFile& file, const catalogue::PropertyRows& rows,
                               const catalogue::OtherEdits& others) {
  Result<BinaryChangePlan> plan = PlanBinaryChange(file, rows, others);
  if (!plan) return plan.outcome();
  if (!plan->edits.Empty()) {
    if (Outcome committed = file.Commit(plan->edits); !committed) return committed;
  }
  try {
    return plan->ReadsBack(file);
  } catch (const std::bad_alloc&) {
    return Outcome::Failure(FailureKind::Io, "not enough memory to check the change");
  }
}

Outcome ChangeBinaryProperties(const std::string& path, const catalogue::PropertyRows& rows,
                               const catalogue::OtherEdits& others) {
  const auto file = storage::CompoundFile::Open(path, fs::OpenMode::ReadWrite);
  if (!file) return file.outcome();
  return ChangeBinaryProperties(**file, rows, others);
}

}  // namespace kestrel::worddoc
