#include "platform/fs/DosAttribBlob.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/LittleEndian.h"

namespace kestrel::fs {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Expected blobs are spelled out field by field from the layout, not produced by the encoder.
Bytes Le(std::uint64_t value, std::size_t width) {
  Bytes bytes;
  le::Append(bytes, value, width);
  return bytes;
}
Bytes U16(std::uint16_t value) { return Le(value, 2); }
Bytes U32(std::uint32_t value) { return Le(value, 4); }
Bytes U64(std::uint64_t value) { return Le(value, 8); }

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes Text(const char* text) { return Bytes(text, text + std::char_traits<char>::length(text) + 1); }

constexpr std::uint64_t kCreate = 0x01D9A1B2C3D4E5F6;
constexpr std::uint64_t kChange = 0x01DA0102030405A0;
constexpr std::uint64_t kITime = 0x01D8FFEEDDCCBBAA;
constexpr std::uint64_t kNewCreate = 0x01DB000011112222;

// What Samba 4.17 wrote for a file set to R|H|S|A.
Bytes SambaV5() {
  return Cat({{0x00, 0x00, 0x05, 0x00, 0x05, 0x00, 0x00, 0x00, 0x11, 0x00, 0x00, 0x00, 0x27, 0x00, 0x00, 0x00},
              U64(kCreate)});
}

// "0x21" + NUL = 5, pad to 6, version and level to 10, pad to 12.
Bytes V1() {
  return Cat({Text("0x21"), {0}, U16(1), U16(1), {0, 0}, U32(0x21), U32(0x30), U64(1234), U64(4096), U64(kCreate),
              U64(kChange)});
}

// "0x0" + NUL = 4 needs no padding: the body starts at 8.
Bytes V3Zero() {
  return Cat({Text("0x0"), U16(3), U16(3), U32(0x3F), U32(0), U32(0x40), U64(77), U64(512), U64(kCreate),
              U64(kChange)});
}

Bytes V3(const char* hex, std::uint32_t attributes, std::uint32_t flags, std::uint64_t create) {
  return Cat({Text(hex), {0}, U16(3), U16(3), {0, 0}, U32(flags), U32(attributes), U32(0x40), U64(77), U64(512),
              U64(create), U64(kChange)});
}

Bytes V4(std::uint32_t attributes, std::uint32_t flags, std::uint64_t create) {
  return Cat({{0, 0}, U16(4), U16(4), {0, 0}, U32(flags), U32(attributes), U64(kITime), U64(create)});
}

std::optional<DosAttribBlob> Parse(const Bytes& bytes) { return ParseDosAttribBlob(bytes); }

// --- Reading ---------------------------------------------------------------------------------

TEST(DosAttribBlobParse, SambaV5BlobReadsAndReEncodesByteForByte) {
  const auto blob = Parse(SambaV5());
  ASSERT_TRUE(blob);
  EXPECT_EQ(blob->version, 5);
  EXPECT_EQ(blob->attributes, 0x27u);
  EXPECT_EQ(blob->validFlags, kDosInfoAttrib | kDosInfoCreateTime);
  EXPECT_EQ(blob->ValidCreateTime(), kCreate);
  EXPECT_EQ(EncodeDosAttribBlob(*blob), SambaV5());
}

TEST(DosAttribBlobParse, EveryVersionReadsItsFieldsAndReEncodesByteForByte) {
  const auto v1 = Parse(V1());
  ASSERT_TRUE(v1);
  EXPECT_EQ(*v1, (DosAttribBlob{1, 0x3F, 0x21, 0x30, 1234, 4096, kCreate, kChange, 0}))
      << "v1 stores no flags: every field it holds counts as valid";
  EXPECT_EQ(EncodeDosAttribBlob(*v1), V1());

  const auto v3 = Parse(V3("0x27", 0x27, 0x35, kCreate));
  ASSERT_TRUE(v3);
  EXPECT_EQ(*v3, (DosAttribBlob{3, 0x35, 0x27, 0x40, 77, 512, kCreate, kChange, 0}));
  EXPECT_EQ(EncodeDosAttribBlob(*v3), V3("0x27", 0x27, 0x35, kCreate));

  const auto v3Zero = Parse(V3Zero());
  ASSERT_TRUE(v3Zero);
  EXPECT_EQ(*v3Zero, (DosAttribBlob{3, 0x3F, 0, 0x40, 77, 512, kCreate, kChange, 0}));
  EXPECT_EQ(EncodeDosAttribBlob(*v3Zero), V3Zero());

  const auto v4 = Parse(V4(0x22, 0x51, kCreate));
  ASSERT_TRUE(v4);
  EXPECT_EQ(*v4, (DosAttribBlob{4, 0x51, 0x22, 0, 0, 0, kCreate, 0, kITime}));
  EXPECT_EQ(EncodeDosAttribBlob(*v4), V4(0x22, 0x51, kCreate));
}

TEST(DosAttribBlobParse, LegacyStringOnlyFormReadsTheHexWord) {
  const auto legacy = Parse(Text("0x26"));
  ASSERT_TRUE(legacy);
  EXPECT_EQ(*legacy, (DosAttribBlob{kDosAttribLegacy, kDosInfoAttrib, 0x26, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(legacy->ValidCreateTime(), std::nullopt);
  EXPECT_EQ(EncodeDosAttribBlob(*legacy), Text("0x26"));

  EXPECT_EQ(Parse(Text("0XfFfFfFfF"))->attributes, 0xFFFFFFFFu) << "either case";
  EXPECT_EQ(Parse(Text("0x0"))->attributes, 0u);
}

TEST(DosAttribBlobParse, CreateTimeIsValidOnlyWithItsFlag) {
  const auto blob = Parse(V4(0x20, kDosInfoAttrib | kDosInfoITime, kCreate));
  ASSERT_TRUE(blob);
  EXPECT_EQ(blob->ValidCreateTime(), std::nullopt);
  EXPECT_EQ(blob->createTime, kCreate) << "kept for re-encoding all the same";
}

TEST(DosAttribBlobParse, BytesAfterACompleteBodyAreIgnored) {
  Bytes longer = SambaV5();
  longer.push_back(0xAB);
  const auto blob = Parse(longer);
  ASSERT_TRUE(blob);
  EXPECT_EQ(EncodeDosAttribBlob(*blob), SambaV5());
}

TEST(DosAttribBlobParse, EveryTruncationIsRefused) {
  for (const Bytes& whole : {SambaV5(), V1(), V3Zero(), V3("0x27", 0x27, 0x11, kCreate), V4(1, 0x11, kCreate)}) {
    // The prefix ending right after a non-empty "0x.." string is a complete legacy blob.
    const auto nul = std::find(whole.begin(), whole.end(), std::uint8_t{0});
    const std::optional<std::size_t> legacyLength =
        nul == whole.begin() ? std::nullopt : std::optional<std::size_t>(static_cast<std::size_t>(nul - whole.begin()) + 1);
    for (std::size_t length = 0; length < whole.size(); ++length) {
      // An exact-size copy, so ASan sees any read past the end.
      const Bytes prefix(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
      const auto blob = Parse(prefix);
      if (length == legacyLength) {
        ASSERT_TRUE(blob) << length;
        EXPECT_EQ(blob->version, kDosAttribLegacy);
      } else {
        EXPECT_FALSE(blob) << "blob of " << whole.size() << " bytes cut to " << length;
      }
    }
  }
}

TEST(DosAttribBlobParse, MalformedBlobsAreRefused) {
  EXPECT_FALSE(Parse(Bytes{'0', 'x', '2', '7'})) << "missing NUL";
  EXPECT_FALSE(Parse(Text(""))) << "empty string alone";
  EXPECT_FALSE(Parse(Text("0x"))) << "no digits";
  EXPECT_FALSE(Parse(Text("0x1g"))) << "non-hex digit";
  EXPECT_FALSE(Parse(Text("27"))) << "no 0x";
  EXPECT_FALSE(Parse(Text("0x123456789"))) << "more than 32 bits";
  EXPECT_FALSE(Parse(Text("-0x1")));

  Bytes nonHexVersioned = V3("0x27", 0x27, 0x11, kCreate);
  nonHexVersioned[3] = 'z';
  EXPECT_FALSE(Parse(nonHexVersioned)) << "non-hex string before a valid body";

  for (std::uint16_t version : {0, 2, 6, 0xFFFF}) {
    EXPECT_FALSE(Parse(Cat({{0, 0}, U16(version), U16(version), Bytes(64, 0)}))) << "version " << version;
  }
  EXPECT_FALSE(Parse(Cat({{0, 0}, U16(5), U16(3), Bytes(64, 0)}))) << "level differs from version";
  EXPECT_FALSE(Parse(Cat({{0, 0}, U16(3), U16(5), Bytes(64, 0)}))) << "level differs from version";
}

// --- Encoding --------------------------------------------------------------------------------

TEST(DosAttribBlobEncode, HexStringIsLowerCaseWithoutLeadingZerosAndPaddingFollowsItsLength) {
  // "0x%x" lengths 3..10 + NUL cover both 2-byte and 4-byte padding cases.
  for (std::uint32_t attributes : {0x0u, 0xAu, 0xABu, 0xABCu, 0xABCDu, 0x1ABCDu, 0x12ABCDu, 0xDEADBEEFu}) {
    DosAttribBlob blob;
    blob.attributes = attributes;
    blob.validFlags = kDosInfoAttrib;
    const Bytes encoded = EncodeDosAttribBlob(blob);
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%x", attributes);
    Bytes expected = Text(hex);
    while (expected.size() % 2 != 0) expected.push_back(0);
    expected = Cat({expected, U16(3), U16(3)});
    while (expected.size() % 4 != 0) expected.push_back(0);
    expected = Cat({expected, U32(kDosInfoAttrib), U32(attributes), Bytes(4 + 8 * 4, 0)});
    EXPECT_EQ(encoded, expected) << hex;
    EXPECT_EQ(Parse(encoded), blob) << hex;
  }
}

TEST(DosAttribBlobEncode, UnknownVersionEncodesToNothing) {
  DosAttribBlob blob;
  blob.version = 2;
  EXPECT_TRUE(EncodeDosAttribBlob(blob).empty());
}

// --- The write rule --------------------------------------------------------------------------

TEST(DosAttribBlobUpdate, NewBlobIsVersion3WithAttribAndCreateTime) {
  const Bytes expected = Cat({Text("0x21"), {0}, U16(3), U16(3), {0, 0}, U32(0x11), U32(0x21), U32(0), U64(0),
                              U64(0), U64(kNewCreate), U64(0)});
  EXPECT_EQ(UpdateDosAttribBlob(std::nullopt, 0x21, kNewCreate), expected);

  const Bytes withoutTime = Cat({Text("0x7"), U16(3), U16(3), U32(0x01), U32(0x7), U32(0), U64(0), U64(0),
                                 U64(0), U64(0)});
  EXPECT_EQ(UpdateDosAttribBlob(std::nullopt, 0x7, std::nullopt), withoutTime);
}

TEST(DosAttribBlobUpdate, UnparseableOrLegacyExistingBlobBecomesANewVersion3Blob) {
  const Bytes fresh = UpdateDosAttribBlob(std::nullopt, 0x21, kNewCreate);
  const Bytes garbage{0xDE, 0xAD, 0xBE, 0xEF};
  EXPECT_EQ(UpdateDosAttribBlob(std::span<const std::uint8_t>(garbage), 0x21, kNewCreate), fresh);
  const Bytes empty;
  EXPECT_EQ(UpdateDosAttribBlob(std::span<const std::uint8_t>(empty), 0x21, kNewCreate), fresh);
  const Bytes legacy = Text("0x26");
  EXPECT_EQ(UpdateDosAttribBlob(std::span<const std::uint8_t>(legacy), 0x21, kNewCreate), fresh)
      << "the legacy form cannot hold a creation time";
}

TEST(DosAttribBlobUpdate, KeepsVersionAndEveryOtherFieldByteForByte) {
  const Bytes v5 = SambaV5();
  const Bytes v5Expected = Cat({{0x00, 0x00, 0x05, 0x00, 0x05, 0x00, 0x00, 0x00}, U32(0x11), U32(0x01),
                                U64(kNewCreate)});
  EXPECT_EQ(UpdateDosAttribBlob(std::span<const std::uint8_t>(v5), 0x01, kNewCreate), v5Expected);

  const Bytes v4 = V4(0x27, kDosInfoAttrib | kDosInfoITime, kCreate);
  EXPECT_EQ(UpdateDosAttribBlob(std::span<const std::uint8_t>(v4), 0x20, kNewCreate),
            V4(0x20, kDosInfoAttrib | kDosInfoITime | kDosInfoCreateTime, kNewCreate))
      << "itime kept, CREATE_TIME flag added";

  // The hex string shrinks from 4 to 3 characters, so the body moves; every field moves with it.
  const Bytes v3 = V3("0x27", 0x27, 0x3D, kCreate);
  const Bytes v3Expected = Cat({Text("0x1"), U16(3), U16(3), U32(0x3D | kDosInfoCreateTime), U32(0x1), U32(0x40),
                                U64(77), U64(512), U64(kNewCreate), U64(kChange)});
  EXPECT_EQ(UpdateDosAttribBlob(std::span<const std::uint8_t>(v3), 0x1, kNewCreate), v3Expected);

  const Bytes v1 = V1();
  const Bytes v1Expected = Cat({Text("0x2"), U16(1), U16(1), U32(0x2), U32(0x30), U64(1234), U64(4096),
                                U64(kNewCreate), U64(kChange)});
  EXPECT_EQ(UpdateDosAttribBlob(std::span<const std::uint8_t>(v1), 0x2, kNewCreate), v1Expected);
}

TEST(DosAttribBlobUpdate, WithoutACreateTimeLeavesTheStoredOneAndItsFlagAlone) {
  const Bytes v5 = SambaV5();
  const Bytes expected = Cat({{0x00, 0x00, 0x05, 0x00, 0x05, 0x00, 0x00, 0x00}, U32(0x11), U32(0x06), U64(kCreate)});
  EXPECT_EQ(UpdateDosAttribBlob(std::span<const std::uint8_t>(v5), 0x06, std::nullopt), expected);

  const Bytes v4 = V4(0x27, kDosInfoITime, kCreate);
  EXPECT_EQ(UpdateDosAttribBlob(std::span<const std::uint8_t>(v4), 0x20, std::nullopt),
            V4(0x20, kDosInfoAttrib | kDosInfoITime, kCreate))
      << "ATTRIB flag added, create time still not valid";
}

}  // namespace
}  // namespace kestrel::fs
