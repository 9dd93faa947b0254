// Drives the user.DOSATTRIB codec over arbitrary bytes: whatever parses must survive an
// encode/parse round trip unchanged, and the write rule must always yield a blob that parses with
// the requested values and, where the input parsed, its version and other fields.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>

#include "platform/fs/DosAttribBlob.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "DosAttribFuzz: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kestrel::fs;
  const std::span<const std::uint8_t> bytes(data, size);
  const std::optional<DosAttribBlob> parsed = ParseDosAttribBlob(bytes);
  if (parsed) {
    const auto again = ParseDosAttribBlob(EncodeDosAttribBlob(*parsed));
    Check(again && *again == *parsed, "encode/parse round trip");
  }

  // Values from the input, so both change and no-change updates get exercised.
  const std::uint32_t attributes = size > 0 ? data[size - 1] * 0x01010101u : 0x27;
  const std::optional<std::uint64_t> createTime =
      size % 2 == 0 ? std::optional<std::uint64_t>(0x01D9000000000000u + size) : std::nullopt;
  const auto updated = ParseDosAttribBlob(UpdateDosAttribBlob(bytes, attributes, createTime));
  Check(updated.has_value(), "updated blob parses");
  Check(updated->attributes == attributes && (updated->validFlags & kDosInfoAttrib) != 0, "attributes set");
  if (createTime) Check(updated->ValidCreateTime() == createTime, "creation time set");

  DosAttribBlob expected = parsed && parsed->version != kDosAttribLegacy ? *parsed : DosAttribBlob{};
  expected.attributes = attributes;
  expected.validFlags |= kDosInfoAttrib;
  if (createTime) {
    expected.createTime = *createTime;
    expected.validFlags |= kDosInfoCreateTime;
  }
  Check(*updated == expected, "update keeps version and other fields");
  return 0;
}
