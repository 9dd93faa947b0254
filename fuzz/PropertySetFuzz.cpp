// Parses a property-set stream; when it parses, reads every property, writes a few values,
// serializes, parses again and checks that the written values read back, every other property
// reads as before, and every other section (damaged ones included) keeps its bytes. A failed
// check aborts: it is a real bug.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "platform/LittleEndian.h"
#include "platform/storage/PropertySetStream.h"

namespace {

using kestrel::storage::Guid;
using kestrel::storage::PropertySetStream;
using kestrel::storage::PropertyValue;
namespace st = kestrel::storage;

void Check(bool condition) {
  if (!condition) std::abort();
}

std::optional<std::uint32_t> U32(std::span<const std::uint8_t> bytes, std::size_t at) {
  if (at > bytes.size() || bytes.size() - at < 4) return std::nullopt;
  return kestrel::le::Get32(&bytes[at]);
}

// Each section's FMTID with the pids of its table, found in the input the way Parse found them.
std::vector<std::pair<Guid, std::vector<std::uint32_t>>> SectionPids(std::span<const std::uint8_t> bytes) {
  std::vector<std::pair<Guid, std::vector<std::uint32_t>>> sections;
  const std::uint32_t count = U32(bytes, 24).value_or(0);
  for (std::uint32_t s = 0; s < count; ++s) {
    const std::size_t entry = 28 + 20 * std::size_t{s};
    std::optional<std::uint32_t> offset = U32(bytes, entry + 16);
    if (!offset) break;
    std::array<std::uint8_t, 16> fmtid{};
    std::memcpy(fmtid.data(), bytes.data() + entry, 16);
    std::vector<std::uint32_t> pids = {0, 1, 0x7777, 0xFFFFFFFF};  // a few that may be absent
    const std::uint32_t properties = U32(bytes, std::size_t{*offset} + 4).value_or(0);
    for (std::uint32_t p = 0; p < properties; ++p) {
      std::optional<std::uint32_t> pid = U32(bytes, std::size_t{*offset} + 8 + 8 * std::size_t{p});
      if (!pid) break;
      pids.push_back(*pid);
    }
    sections.emplace_back(Guid::FromBytes(fmtid), std::move(pids));
  }
  return sections;
}

// The bytes of section `index` as the list places them and its size field measures them; empty
// when they do not lie inside the stream.
std::vector<std::uint8_t> SectionBytes(std::span<const std::uint8_t> bytes, std::size_t index) {
  std::optional<std::uint32_t> offset = U32(bytes, 28 + 20 * index + 16);
  std::optional<std::uint32_t> size = offset ? U32(bytes, *offset) : std::nullopt;
  if (!size || *size > bytes.size() - *offset) return {};
  return std::vector<std::uint8_t>(bytes.begin() + *offset, bytes.begin() + *offset + *size);
}

bool Same(const std::optional<PropertyValue>& a, const std::optional<PropertyValue>& b) {
  if (!a || !b) return a.has_value() == b.has_value();
  return a->type == b->type && a->integer == b->integer && std::memcmp(&a->real, &b->real, sizeof a->real) == 0 &&
         a->text == b->text && a->guid == b->guid;
}

PropertyValue Value(std::uint16_t type, std::int64_t integer, const char* text) {
  PropertyValue value;
  value.type = type;
  value.integer = integer;
  value.text = text;
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  kestrel::Result<PropertySetStream> stream = PropertySetStream::Parse(input);
  if (!stream) return 0;
  const auto sections = SectionPids(input);
  if (sections.empty()) {
    Check(stream->Serialize() == std::vector<std::uint8_t>(input.begin(), input.end()));
    return 0;
  }

  std::map<std::pair<std::size_t, std::uint32_t>, std::optional<PropertyValue>> before;
  for (std::size_t s = 0; s < sections.size(); ++s) {
    for (std::uint32_t pid : sections[s].second) before[{s, pid}] = stream->Read(sections[s].first, pid);
  }

  const Guid target = sections.front().first;
  const std::optional<unsigned> codePageBefore = stream->CodePage(target);
  const std::pair<std::uint32_t, PropertyValue> writes[] = {
      {2, Value(st::kVtLpstr, 0, "Kestrel")},
      {3, Value(st::kVtLpstr, 0, "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E")},  // needs a switch outside 932
      {12, Value(st::kVtFiletime, 0x01D7270C5A8C3B00, "")},
      {0x4000, Value(st::kVtNull, 0, "")},
      {4, Value(st::kVtLpwstr, 0, "wide \xC3\xBC")},
      {0x4001, Value(st::kVtInt, -7, "")},
  };
  std::map<std::uint32_t, PropertyValue> written;
  for (const auto& [pid, value] : writes) {
    const std::vector<std::uint8_t> unchanged = stream->Serialize();
    if (stream->Write(target, pid, value)) {
      written[pid] = value;
    } else {
      Check(stream->Serialize() == unchanged);  // a refused write changes nothing
    }
  }
  const std::vector<std::uint8_t> out = stream->Serialize();
  Check(out.size() >= size);
  if (written.empty()) Check(out == std::vector<std::uint8_t>(input.begin(), input.end()));

  kestrel::Result<PropertySetStream> reparsed = PropertySetStream::Parse(out);
  Check(reparsed.ok());
  const bool switched = reparsed->CodePage(target) != codePageBefore;
  if (switched) Check(reparsed->CodePage(target) == 1200u);
  // Only the first section is written; the others keep their bytes wherever they moved.
  for (std::size_t s = 1; s < sections.size(); ++s) {
    const std::vector<std::uint8_t> old = SectionBytes(input, s);
    if (!old.empty()) Check(SectionBytes(out, s) == old);
  }
  for (std::size_t s = 0; s < sections.size(); ++s) {
    for (std::uint32_t pid : sections[s].second) {
      const std::optional<PropertyValue> now = reparsed->Read(sections[s].first, pid);
      const bool ownSection = sections[s].first == target;
      if (ownSection && written.count(pid) != 0) {
        const PropertyValue& expected = written[pid];
        Check(now && now->type == expected.type && now->text == expected.text);
        if (expected.type == st::kVtFiletime || expected.type == st::kVtInt) Check(now->integer == expected.integer);
      } else if (!(ownSection && pid == st::kPidCodePage && switched)) {
        Check(Same(now, before[{s, pid}]));
      }
    }
  }
  return 0;
}
