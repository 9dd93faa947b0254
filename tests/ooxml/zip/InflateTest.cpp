#include "ooxml/zip/Inflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "tests/ooxml/zip/CodecCorpus.h"

namespace kestrel::zip {
namespace {

using test::Bytes;
constexpr std::size_t kLimit = std::size_t{64} << 20;

// Writes hand-made streams bit by bit, least significant bit first as Deflate packs them.
class Bits {
 public:
  Bits& Put(std::uint32_t value, unsigned n) {
    for (unsigned i = 0; i < n; ++i) PutBit((value >> i) & 1);
    return *this;
  }
  // A Huffman code goes out from its top bit.
  Bits& Code(std::uint32_t code, unsigned n) {
    for (unsigned i = n; i-- > 0;) PutBit((code >> i) & 1);
    return *this;
  }
  Bits& Align() {
    while (used_ != 0) PutBit(0);
    return *this;
  }
  Bits& Raw(const Bytes& bytes) {
    Align();
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
  }
  // The fixed code of a literal/length symbol.
  Bits& Fixed(unsigned symbol) {
    if (symbol < 144) return Code(0x30 + symbol, 8);
    if (symbol < 256) return Code(0x190 + symbol - 144, 9);
    if (symbol < 280) return Code(symbol - 256, 7);
    return Code(0xC0 + symbol - 280, 8);
  }
  // A dynamic block header whose code-length code gives lengths 0..15 four bits each, so every
  // length is written as itself.
  Bits& DynamicHeader(const std::vector<std::uint8_t>& litLen, const std::vector<std::uint8_t>& dist) {
    Put(static_cast<std::uint32_t>(litLen.size() - 257), 5).Put(static_cast<std::uint32_t>(dist.size() - 1), 5).Put(15, 4);
    static constexpr unsigned kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    for (unsigned symbol : kOrder) Put(symbol < 16 ? 4 : 0, 3);
    for (auto len : litLen) Code(len, 4);
    for (auto len : dist) Code(len, 4);
    return *this;
  }
  Bytes Done() {
    Align();
    return bytes_;
  }

 private:
  void PutBit(std::uint32_t bit) {
    if (used_ == 0) bytes_.push_back(0);
    bytes_.back() = static_cast<std::uint8_t>(bytes_.back() | (bit << used_));
    used_ = (used_ + 1) % 8;
  }
  Bytes bytes_;
  unsigned used_ = 0;
};

// Our result must agree with zlib's on the same stream.
void ExpectAgreesWithZlib(const Bytes& stream, InflateStatus expected, const char* what) {
  const InflateResult ours = Inflate(stream, kLimit);
  const test::ZlibInflated theirs = test::ZlibInflate(stream, kLimit);
  EXPECT_EQ(ours.status, expected) << what;
  EXPECT_EQ(theirs.ok, expected == InflateStatus::Ok) << what << ": zlib disagrees about the stream";
  if (expected == InflateStatus::Ok) {
    EXPECT_EQ(ours.data, theirs.data) << what;
  } else {
    EXPECT_TRUE(ours.data.empty()) << what;
  }
}

TEST(InflateTest, DecodesZlibOutputAtEveryLevelAndStrategy) {
  const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
  for (const auto& input : test::CodecInputs()) {
    for (int level = 0; level <= 9; ++level) {
      for (int strategy : strategies) {
        const Bytes stream = test::ZlibDeflate(input.bytes, level, strategy);
        const InflateResult result = Inflate(stream, kLimit);
        ASSERT_EQ(result.status, InflateStatus::Ok) << input.name << " level " << level << " strategy " << strategy;
        ASSERT_EQ(result.data, input.bytes) << input.name << " level " << level << " strategy " << strategy;
        ASSERT_EQ(result.consumed, stream.size()) << input.name << " level " << level << " strategy " << strategy;
      }
    }
  }
}

TEST(InflateTest, DecodesTheEntriesOfTheTestDocuments) {
  const auto entries = test::DocxEntries(std::filesystem::path(KESTREL_SOURCE_DIR) / "tests" / "data");
  ASSERT_GT(entries.size(), 50u);
  for (const auto& entry : entries) {
    const InflateResult result = Inflate(entry.compressed, kLimit);
    ASSERT_EQ(result.status, InflateStatus::Ok) << entry.name;
    EXPECT_EQ(result.data, entry.data) << entry.name;
    EXPECT_EQ(result.consumed, entry.compressed.size()) << entry.name;
  }
}

TEST(InflateTest, ConsumedStopsAtTheFinalBlock) {
  const Bytes xml = test::SyntheticXml(5000, 11);
  for (int level : {0, 1, 6}) {
    Bytes stream = test::ZlibDeflate(xml, level, Z_DEFAULT_STRATEGY);
    const std::size_t length = stream.size();
    stream.insert(stream.end(), {0x50, 0x4B, 0x07, 0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0});
    const InflateResult result = Inflate(stream, kLimit);
    ASSERT_EQ(result.status, InflateStatus::Ok) << "level " << level;
    EXPECT_EQ(result.consumed, length) << "level " << level;
    EXPECT_EQ(result.data, xml);
  }
}

TEST(InflateTest, MatchesAtTheFullWindowDistance) {
  // 32768 stored bytes, then a 258-byte match reaching back exactly 32768 (code 29, extra 8191).
  const Bytes head = test::RandomBytes(32768, 12);
  Bytes stream = Bits().Put(0, 1).Put(0, 2).Align().Put(32768, 16).Put(32767, 16).Raw(head).Done();
  const Bytes tail = Bits().Put(1, 1).Put(1, 2).Fixed(285).Code(29, 5).Put(8191, 13).Fixed(256).Done();
  stream.insert(stream.end(), tail.begin(), tail.end());
  const InflateResult result = Inflate(stream, kLimit);
  ASSERT_EQ(result.status, InflateStatus::Ok);
  ASSERT_EQ(result.data.size(), 32768u + 258u);
  EXPECT_TRUE(std::equal(head.begin(), head.begin() + 258, result.data.begin() + 32768));
  ExpectAgreesWithZlib(stream, InflateStatus::Ok, "distance 32768");
}

TEST(InflateTest, RefusesMalformedBlocks) {
  ExpectAgreesWithZlib(Bits().Put(1, 1).Put(3, 2).Done(), InflateStatus::Corrupt, "block type 3");
  ExpectAgreesWithZlib(Bits().Put(1, 1).Put(0, 2).Align().Put(5, 16).Put(0xFFFA ^ 1, 16).Raw({1, 2, 3, 4, 5}).Done(),
                       InflateStatus::Corrupt, "LEN and NLEN disagree");
  ExpectAgreesWithZlib(Bits().Put(1, 1).Put(0, 2).Align().Put(5, 16).Put(0xFFFA, 16).Raw({1, 2, 3, 4, 5}).Done(),
                       InflateStatus::Ok, "LEN and NLEN agree");
  // Fixed blocks: 'a', then a match of 3 at the given distance code and extra bits.
  auto match = [](unsigned lengthSymbol, unsigned distCode) {
    return Bits().Put(1, 1).Put(1, 2).Fixed('a').Fixed(lengthSymbol).Code(distCode, 5).Fixed(256).Done();
  };
  ExpectAgreesWithZlib(match(257, 0), InflateStatus::Ok, "distance 1");
  EXPECT_EQ(Inflate(match(257, 0), kLimit).data, Bytes(4, 'a'));
  ExpectAgreesWithZlib(match(257, 1), InflateStatus::Corrupt, "distance 2 after one byte");
  ExpectAgreesWithZlib(match(286, 0), InflateStatus::Corrupt, "length symbol 286");
  ExpectAgreesWithZlib(match(287, 0), InflateStatus::Corrupt, "length symbol 287");
  ExpectAgreesWithZlib(match(257, 30), InflateStatus::Corrupt, "distance code 30");
  ExpectAgreesWithZlib(match(257, 31), InflateStatus::Corrupt, "distance code 31");
}

TEST(InflateTest, ValidatesDynamicCodes) {
  // Literal/length code: 'a' and end of block at two bits each plus 257 at one bit is complete.
  std::vector<std::uint8_t> litLen(258, 0);
  litLen['a'] = 2;
  litLen[256] = 2;
  litLen[257] = 1;
  auto block = [](const std::vector<std::uint8_t>& ll, const std::vector<std::uint8_t>& d) {
    return Bits().Put(1, 1).Put(2, 2).DynamicHeader(ll, d);
  };
  // Canonical codes: 257 -> 0, 'a' -> 10, 256 -> 11.
  ExpectAgreesWithZlib(block(litLen, {1}).Code(2, 2).Code(0, 1).Code(0, 1).Code(3, 2).Done(), InflateStatus::Ok,
                       "a lone one-bit distance code");
  EXPECT_EQ(Inflate(block(litLen, {1}).Code(2, 2).Code(0, 1).Code(0, 1).Code(3, 2).Done(), kLimit).data, Bytes(4, 'a'));
  ExpectAgreesWithZlib(block(litLen, {2, 2}).Code(2, 2).Code(0, 1).Code(0, 2).Code(3, 2).Done(), InflateStatus::Corrupt,
                       "an incomplete distance code of two codes");
  ExpectAgreesWithZlib(block(litLen, {1, 1, 1}).Code(3, 2).Done(), InflateStatus::Corrupt,
                       "an over-subscribed distance code");
  ExpectAgreesWithZlib(block(litLen, {0}).Code(2, 2).Code(3, 2).Done(), InflateStatus::Ok,
                       "no distance codes in a block without matches");

  std::vector<std::uint8_t> over = litLen;
  over['b'] = 1;
  ExpectAgreesWithZlib(block(over, {1}).Code(3, 2).Done(), InflateStatus::Corrupt, "over-subscribed literal code");
  std::vector<std::uint8_t> incomplete = litLen;
  incomplete[257] = 2;
  ExpectAgreesWithZlib(block(incomplete, {1}).Code(3, 2).Done(), InflateStatus::Corrupt, "incomplete literal code");
  std::vector<std::uint8_t> noEnd(258, 0);
  noEnd['a'] = 1;
  noEnd['b'] = 1;
  ExpectAgreesWithZlib(block(noEnd, {1}).Done(), InflateStatus::Corrupt, "no code for the end of block");

  // Code-length code over-subscribed: four symbols of one bit.
  ExpectAgreesWithZlib(Bits().Put(1, 1).Put(2, 2).Put(0, 5).Put(0, 5).Put(0, 4).Put(1, 3).Put(1, 3).Put(1, 3).Put(1, 3).Done(),
                       InflateStatus::Corrupt, "over-subscribed code-length code");
  // Code-length code incomplete: one symbol of two bits.
  ExpectAgreesWithZlib(Bits().Put(1, 1).Put(2, 2).Put(0, 5).Put(0, 5).Put(0, 4).Put(0, 3).Put(0, 3).Put(0, 3).Put(2, 3).Done(),
                       InflateStatus::Corrupt, "incomplete code-length code");
  // Too many symbols: HLIT 30 means 287 literal/length codes.
  ExpectAgreesWithZlib(Bits().Put(1, 1).Put(2, 2).Put(30, 5).Put(0, 5).Put(15, 4).Done(), InflateStatus::Corrupt,
                       "287 literal/length codes");
}

TEST(InflateTest, RefusesBadRepeatsOfCodeLengths) {
  // Code-length code: symbols 0..15 four bits each is impossible alongside 16..18, so use
  // 16, 17, 18 and 1 at two bits each (canonical: 1 -> 00, 16 -> 01, 17 -> 10, 18 -> 11).
  auto header = [] {
    Bits b;
    b.Put(1, 1).Put(2, 2).Put(0, 5).Put(0, 5).Put(14, 4);  // 257 + 1 codes, 18 code-length lengths
    static constexpr unsigned kOrder[18] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1};
    for (unsigned symbol : kOrder) b.Put(symbol == 16 || symbol == 17 || symbol == 18 || symbol == 1 ? 2 : 0, 3);
    return b;
  };
  ExpectAgreesWithZlib(header().Code(1, 2).Put(0, 2).Done(), InflateStatus::Corrupt, "repeat with no previous length");
  ExpectAgreesWithZlib(header().Code(3, 2).Put(127, 7).Code(3, 2).Put(127, 7).Code(3, 2).Put(0, 7).Done(),
                       InflateStatus::Corrupt, "repeat past the last code");
}

TEST(InflateTest, TruncationAtEveryByteIsReported) {
  const Bytes xml = test::SyntheticXml(8000, 13);
  for (int level : {0, 1, 6, 9}) {
    for (int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED, Z_HUFFMAN_ONLY}) {
      if (level == 0 && strategy != Z_DEFAULT_STRATEGY) continue;  // stored all the same
      const Bytes stream = test::ZlibDeflate(xml, level, strategy);
      for (std::size_t cut = 0; cut < stream.size(); ++cut) {
        const InflateResult result = Inflate(std::span(stream).first(cut), kLimit);
        ASSERT_NE(result.status, InflateStatus::Ok) << "level " << level << " cut at " << cut;
        ASSERT_TRUE(result.data.empty());
        if (level == 0) {
          ASSERT_EQ(result.status, InflateStatus::Truncated) << "cut at " << cut;
        }
      }
    }
  }
}

TEST(InflateTest, OutputLimitIsHard) {
  const Bytes xml = test::SyntheticXml(100000, 14);
  for (int level : {0, 6}) {
    const Bytes stream = test::ZlibDeflate(xml, level, Z_DEFAULT_STRATEGY);
    const InflateResult exact = Inflate(stream, xml.size());
    EXPECT_EQ(exact.status, InflateStatus::Ok) << "level " << level;
    EXPECT_EQ(exact.data, xml);
    const InflateResult under = Inflate(stream, xml.size() - 1);
    EXPECT_EQ(under.status, InflateStatus::TooLarge) << "level " << level;
    EXPECT_TRUE(under.data.empty());
  }
  // A match that would end one byte past the limit.
  const Bytes four = Bits().Put(1, 1).Put(1, 2).Fixed('a').Fixed(257).Code(0, 5).Fixed(256).Done();
  EXPECT_EQ(Inflate(four, 4).status, InflateStatus::Ok);
  EXPECT_EQ(Inflate(four, 3).status, InflateStatus::TooLarge);
  // A bomb: 64 MiB of zeros refused at 1 MiB.
  Bytes zeros(64u << 20, 0);
  const Bytes bomb = test::ZlibDeflate(zeros, 9, Z_DEFAULT_STRATEGY);
  zeros = {};
  const InflateResult refused = Inflate(bomb, 1u << 20);
  EXPECT_EQ(refused.status, InflateStatus::TooLarge);
  EXPECT_EQ(Inflate(bomb, 0).status, InflateStatus::TooLarge);
  EXPECT_EQ(Inflate(test::ZlibDeflate({}, 6, Z_DEFAULT_STRATEGY), 0).status, InflateStatus::Ok);
}

}  // namespace
}  // namespace kestrel::zip
