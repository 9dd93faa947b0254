// Raw Deflate decoding, in memory.
//
// What it guarantees. Input is untrusted: any byte string either decodes to exactly what a
// correct decoder produces or ends in Corrupt, Truncated or TooLarge, without reading outside
// the input, writing outside the output, or allocating more than maxOutput plus a few hundred
// bytes. Code sets a decoder must refuse (over-subscribed, or incomplete other than a lone
// one-bit code) are refused when the table is built, so decoding never meets a hole it did not
// expect. Every test of untrusted data is one of the named checks in the section below, so
// auditing the decoder means reading that list and finding each use.
//
// Why it is fast. Bits come from a 64-bit buffer refilled eight bytes at a time, so one refill
// covers a whole length/distance pair (at most 48 bits). Huffman codes are decoded by one table
// lookup (a second for the rare long codes) whose entry already carries the literal, or the
// base and extra-bit count of a length or distance. The output buffer always keeps some slack
// past the write position, so matches are copied eight bytes at a time without tail handling.
#include "ooxml/zip/Inflate.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <memory>

#include "ooxml/zip/DeflateFormat.h"

namespace kestrel::zip {
namespace {

using format::kCodeLengthOrder;
using format::kEndOfBlock;
using format::kLengthBase;
using format::kLengthExtra;
using format::kMaxCodeLength;

// ---- Constants of the format ----

constexpr unsigned kLitLenSymbols = 288;  // 286 and 287 have fixed codes but no meaning
constexpr unsigned kDistSymbols = 32;     // 30 and 31 likewise
constexpr unsigned kMaxLitLenUsed = 286;
constexpr unsigned kMaxDistUsed = 30;

constexpr std::array<std::uint16_t, 30> kDistBase = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,
                                                     33,  49,  65,  97,  129, 193,  257,  385,  513,  769,
                                                     1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<std::uint8_t, 30> kDistExtra = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                     6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// ---- Decode table entries ----
//
// bits 0-4: bits the code takes; 5-8: extra bits that follow it (or a subtable's index bits);
// 9-11: kind; 16-31: literal, base value or subtable start. Kind 0 marks codes with no meaning
// and the holes of the allowed incomplete code, so an all-zero entry is an error.

enum class Kind : std::uint32_t { Invalid = 0, Literal = 1, Match = 2, End = 3, Subtable = 4 };

constexpr std::uint32_t MakeEntry(Kind kind, std::uint32_t extra, std::uint32_t value) {
  return (value << 16) | (static_cast<std::uint32_t>(kind) << 9) | (extra << 5);
}
constexpr unsigned CodeBits(std::uint32_t e) { return e & 0x1F; }
constexpr unsigned ExtraBits(std::uint32_t e) { return (e >> 5) & 0xF; }
constexpr Kind KindOf(std::uint32_t e) { return static_cast<Kind>((e >> 9) & 0x7); }
constexpr std::uint32_t ValueOf(std::uint32_t e) { return e >> 16; }

constexpr std::array<std::uint32_t, kLitLenSymbols> MakeLitLenEntries() {
  std::array<std::uint32_t, kLitLenSymbols> e{};
  for (std::uint32_t s = 0; s < 256; ++s) e[s] = MakeEntry(Kind::Literal, 0, s);
  e[kEndOfBlock] = MakeEntry(Kind::End, 0, 0);
  for (std::uint32_t s = 0; s < kLengthBase.size(); ++s) {
    e[257 + s] = MakeEntry(Kind::Match, kLengthExtra[s], kLengthBase[s]);
  }
  return e;  // 286 and 287 stay Kind::Invalid
}
constexpr std::array<std::uint32_t, kDistSymbols> MakeDistEntries() {
  std::array<std::uint32_t, kDistSymbols> e{};
  for (std::uint32_t s = 0; s < kDistBase.size(); ++s) e[s] = MakeEntry(Kind::Match, kDistExtra[s], kDistBase[s]);
  return e;  // 30 and 31 stay Kind::Invalid
}
constexpr std::array<std::uint32_t, 19> MakeCodeLengthEntries() {
  std::array<std::uint32_t, 19> e{};
  for (std::uint32_t s = 0; s < 19; ++s) e[s] = MakeEntry(Kind::Literal, 0, s);
  return e;
}
constexpr auto kLitLenEntries = MakeLitLenEntries();
constexpr auto kDistEntries = MakeDistEntries();
constexpr auto kCodeLengthEntries = MakeCodeLengthEntries();

// Primary table sizes; longer codes go to subtables. Each subtable serves at least one long code
// and holds at most 2^(15 - bits) entries, which bounds the space below.
constexpr unsigned kLitLenTableBits = 10;
constexpr unsigned kDistTableBits = 8;
constexpr unsigned kCodeLengthTableBits = 7;  // code-length codes are at most 7 bits long
constexpr std::size_t kLitLenTableSize = (1u << kLitLenTableBits) + kLitLenSymbols * (1u << (15 - kLitLenTableBits));
constexpr std::size_t kDistTableSize = (1u << kDistTableBits) + kDistSymbols * (1u << (15 - kDistTableBits));

// Room kept past the write position: the longest match rounded up to whole 8-byte copies.
constexpr std::size_t kSlack = 264;
// Keeps maxOutput + kSlack from wrapping when a caller passes no real limit.
constexpr std::size_t kLargestOutput = static_cast<std::size_t>(std::numeric_limits<std::ptrdiff_t>::max()) - kSlack;

// ---- The checks ----
// Every test of untrusted input is one of these.

enum class CodeSet { Complete, LoneCodeAllowed };

// Kraft sum over the lengths: negative room means over-subscribed; room left over means
// incomplete, which only a lone one-bit code or an empty code may be (a block that uses no
// distances, or holds only its end code).
constexpr bool CodeSetAcceptable(int room, unsigned used, unsigned maxLength, CodeSet set) {
  if (room < 0) return false;
  if (room == 0) return true;
  return set == CodeSet::LoneCodeAllowed && (used == 0 || (used == 1 && maxLength == 1));
}
constexpr bool BlockTypeValid(std::uint32_t type) { return type != 3; }
constexpr bool StoredLengthsAgree(std::uint32_t len, std::uint32_t nlen) { return len == (~nlen & 0xFFFF); }
constexpr bool InputHolds(std::size_t needed, std::size_t available) { return needed <= available; }
constexpr bool SymbolCountsInRange(unsigned litLen, unsigned dist) {
  return litLen <= kMaxLitLenUsed && dist <= kMaxDistUsed;
}
constexpr bool RepeatHasPrevious(unsigned index) { return index > 0; }
constexpr bool RepeatFits(unsigned index, unsigned count, unsigned total) { return index + count <= total; }
constexpr bool EndOfBlockHasCode(std::uint8_t length) { return length != 0; }
constexpr bool EntryIs(std::uint32_t entry, Kind kind) { return KindOf(entry) == kind; }
constexpr bool DistanceWithinOutput(std::size_t distance, std::size_t written) { return distance <= written; }
constexpr bool OutputFits(std::size_t written, std::size_t more, std::size_t limit) { return more <= limit - written; }
// The padding sits at the top of the buffer; once fewer bits remain than it holds, bits past
// the input's end have been used.
constexpr bool PaddingUnused(std::size_t paddingBytes, unsigned bitsLeft) { return paddingBytes * 8 <= bitsLeft; }

// ---- Building decode tables ----

unsigned ReverseBits(unsigned code, unsigned length) {
  unsigned r = 0;
  for (unsigned i = 0; i < length; ++i, code >>= 1) r = (r << 1) | (code & 1);
  return r;
}

// Canonical codes from the lengths, filled into table. False for a code set to refuse.
bool BuildTable(const std::uint8_t* lengths, unsigned count, const std::uint32_t* entries, unsigned tableBits,
                CodeSet set, std::uint32_t* table) {
  std::array<unsigned, kMaxCodeLength + 1> perLength{};
  for (unsigned s = 0; s < count; ++s) ++perLength[lengths[s]];
  perLength[0] = 0;
  int room = 1;
  unsigned used = 0;
  unsigned maxLength = 0;
  for (unsigned len = 1; len <= kMaxCodeLength; ++len) {
    room = room * 2 - static_cast<int>(perLength[len]);
    if (room < 0) break;  // over-subscribed; the check below refuses it
    used += perLength[len];
    if (perLength[len] != 0) maxLength = len;
  }
  if (!CodeSetAcceptable(room, used, maxLength, set)) return false;

  std::array<unsigned, kMaxCodeLength + 2> next{};
  for (unsigned len = 1; len <= kMaxCodeLength; ++len) next[len + 1] = (next[len] + perLength[len]) << 1;
  std::array<std::uint16_t, kLitLenSymbols> reversed{};
  const unsigned primarySize = 1u << tableBits;
  const unsigned mask = primarySize - 1;
  std::array<std::uint8_t, 1u << kLitLenTableBits> longest{};
  for (unsigned s = 0; s < count; ++s) {
    const unsigned len = lengths[s];
    if (len == 0) continue;
    reversed[s] = static_cast<std::uint16_t>(ReverseBits(next[len]++, len));
    if (len > tableBits) longest[reversed[s] & mask] = std::max<std::uint8_t>(longest[reversed[s] & mask], static_cast<std::uint8_t>(len));
  }

  std::fill(table, table + primarySize, 0u);
  std::uint32_t subtableStart = primarySize;
  for (unsigned prefix = 0; prefix < primarySize && maxLength > tableBits; ++prefix) {
    if (longest[prefix] == 0) continue;
    const unsigned subBits = longest[prefix] - tableBits;
    table[prefix] = MakeEntry(Kind::Subtable, subBits, subtableStart) | tableBits;
    std::fill(table + subtableStart, table + subtableStart + (1u << subBits), 0u);
    subtableStart += 1u << subBits;
  }
  for (unsigned s = 0; s < count; ++s) {
    const unsigned len = lengths[s];
    if (len == 0) continue;
    if (len <= tableBits) {
      for (unsigned i = reversed[s]; i < primarySize; i += 1u << len) table[i] = entries[s] | len;
    } else {
      const std::uint32_t sub = table[reversed[s] & mask];
      const unsigned subSize = 1u << ExtraBits(sub);
      std::uint32_t* subtable = table + ValueOf(sub);
      for (unsigned i = reversed[s] >> tableBits; i < subSize; i += 1u << (len - tableBits)) {
        subtable[i] = entries[s] | (len - tableBits);
      }
    }
  }
  return true;
}

struct Tables {
  std::array<std::uint32_t, kLitLenTableSize> litLen;
  std::array<std::uint32_t, kDistTableSize> dist;
};

const Tables& FixedTables() {
  static const std::unique_ptr<Tables> fixed = [] {
    auto t = std::make_unique<Tables>();
    std::array<std::uint8_t, kLitLenSymbols> lengths{};
    std::fill(lengths.begin(), lengths.begin() + 144, 8);
    std::fill(lengths.begin() + 144, lengths.begin() + 256, 9);
    std::fill(lengths.begin() + 256, lengths.begin() + 280, 7);
    std::fill(lengths.begin() + 280, lengths.end(), 8);
    BuildTable(lengths.data(), kLitLenSymbols, kLitLenEntries.data(), kLitLenTableBits, CodeSet::Complete, t->litLen.data());
    std::fill(lengths.begin(), lengths.begin() + kDistSymbols, 5);
    BuildTable(lengths.data(), kDistSymbols, kDistEntries.data(), kDistTableBits, CodeSet::Complete, t->dist.data());
    return t;
  }();
  return *fixed;
}

// The decode tables of the last few code-length shapes on this thread: parts written by one
// program often share their block headers, and building a table costs more than decoding a small
// part with it.
class DynamicTableCache {
 public:
  // The tables for the lengths of one block header; nullptr for a code set to refuse.
  const Tables* For(const std::uint8_t* lengths, unsigned litLenCount, unsigned distCount) {
    const std::size_t total = litLenCount + distCount;
    for (const Entry& entry : entries_) {
      if (entry.tables && entry.litLenCount == litLenCount && entry.distCount == distCount &&
          std::memcmp(entry.lengths.data(), lengths, total) == 0) {
        return entry.tables.get();
      }
    }
    Entry& entry = entries_[next_];
    next_ = (next_ + 1) % entries_.size();
    if (!entry.tables) entry.tables.reset(new Tables);  // filled by BuildTable: no zeroing needed
    entry.litLenCount = 0;  // not a valid shape until both tables are built
    if (!BuildTable(lengths, litLenCount, kLitLenEntries.data(), kLitLenTableBits, CodeSet::LoneCodeAllowed,
                    entry.tables->litLen.data()) ||
        !BuildTable(lengths + litLenCount, distCount, kDistEntries.data(), kDistTableBits, CodeSet::LoneCodeAllowed,
                    entry.tables->dist.data())) {
      return nullptr;
    }
    std::memcpy(entry.lengths.data(), lengths, total);
    entry.litLenCount = litLenCount;
    entry.distCount = distCount;
    return entry.tables.get();
  }

 private:
  struct Entry {
    unsigned litLenCount = 0;
    unsigned distCount = 0;
    std::array<std::uint8_t, kMaxLitLenUsed + kMaxDistUsed> lengths{};
    std::unique_ptr<Tables> tables;
  };
  std::array<Entry, 4> entries_;
  std::size_t next_ = 0;
};

DynamicTableCache& ThreadTableCache() {
  thread_local DynamicTableCache cache;
  return cache;
}

// ---- The decoder ----

class Decoder {
 public:
  Decoder(std::span<const std::uint8_t> input, std::size_t maxOutput)
      : begin_(input.data()), pos_(input.data()), end_(input.data() + input.size()), maxOutput_(std::min(maxOutput, kLargestOutput)) {
    // A first guess from typical ratios; growth doubles from there, never past the limit.
    out_.resize(std::min(maxOutput_, std::max<std::size_t>(input.size() * 4, 4096)) + kSlack);
  }

  InflateResult Run() {
    InflateStatus status = Blocks();
    // An error met while decoding padding is the input's end, not bad data.
    if (status != InflateStatus::TooLarge && !PaddingUnused(padding_, bits_)) status = InflateStatus::Truncated;
    InflateResult result;
    result.status = status;
    if (status == InflateStatus::Ok) {
      out_.resize(written_);
      result.data = std::move(out_);
      // Whole bytes still buffered were not used; a partly used byte counts.
      result.consumed = static_cast<std::size_t>(pos_ - begin_) + padding_ - bits_ / 8;
    }
    return result;
  }

 private:
  // -- Bits --

  // Leaves at least 56 bits in the buffer; past the input's end they are zero padding.
  void Refill() {
    if (end_ - pos_ >= 8) {
      std::uint64_t word;
      std::memcpy(&word, pos_, 8);  // little-endian, as on every target we ship
      buffer_ |= word << bits_;
      pos_ += (63 - bits_) >> 3;
      bits_ |= 56;
      return;
    }
    while (bits_ <= 56) {
      if (pos_ != end_) {
        buffer_ |= static_cast<std::uint64_t>(*pos_++) << bits_;
      } else {
        ++padding_;
      }
      bits_ += 8;
    }
  }
  std::uint32_t Peek(unsigned n) const { return static_cast<std::uint32_t>(buffer_ & ((std::uint64_t{1} << n) - 1)); }
  void Drop(unsigned n) {
    buffer_ >>= n;
    bits_ -= n;
  }
  std::uint32_t Take(unsigned n) {
    const std::uint32_t v = Peek(n);
    Drop(n);
    return v;
  }
  // One symbol; the entry returned has had its code bits (not its extra bits) dropped.
  std::uint32_t Decode(const std::uint32_t* table, unsigned tableBits) {
    std::uint32_t e = table[Peek(tableBits)];
    if (KindOf(e) == Kind::Subtable) {
      Drop(CodeBits(e));
      e = table[ValueOf(e) + Peek(ExtraBits(e))];
    }
    Drop(CodeBits(e));
    return e;
  }

  // -- Output --

  void Reserve(std::size_t more) {
    if (out_.size() - written_ >= more + kSlack) return;
    out_.resize(std::min(std::max(out_.size() * 2, written_ + more + kSlack), maxOutput_ + kSlack));
  }

  // -- Blocks, in stream order --

  InflateStatus Blocks() {
    for (;;) {
      Refill();
      if (!PaddingUnused(padding_, bits_)) return InflateStatus::Truncated;
      const std::uint32_t isFinal = Take(1);
      const std::uint32_t type = Take(2);
      if (!BlockTypeValid(type)) return InflateStatus::Corrupt;
      InflateStatus status;
      if (type == 0) {
        status = Stored();
      } else if (type == 1) {
        status = Huffman(FixedTables());
      } else {
        const Tables* tables = nullptr;
        status = DynamicHeader(tables);
        if (status == InflateStatus::Ok) status = Huffman(*tables);
      }
      if (status != InflateStatus::Ok || isFinal == 1) return status;
    }
  }

  InflateStatus Stored() {
    Drop(bits_ & 7);
    Refill();
    const std::uint32_t len = Take(16);
    const std::uint32_t nlen = Take(16);
    if (!PaddingUnused(padding_, bits_)) return InflateStatus::Truncated;
    if (!StoredLengthsAgree(len, nlen)) return InflateStatus::Corrupt;
    // Give back the whole bytes still buffered; the block's bytes are copied straight from input.
    pos_ -= bits_ / 8 - padding_;
    buffer_ = 0;
    bits_ = 0;
    padding_ = 0;
    if (!InputHolds(len, static_cast<std::size_t>(end_ - pos_))) return InflateStatus::Truncated;
    if (!OutputFits(written_, len, maxOutput_)) return InflateStatus::TooLarge;
    Reserve(len);
    std::memcpy(out_.data() + written_, pos_, len);
    written_ += len;
    pos_ += len;
    return InflateStatus::Ok;
  }

  InflateStatus DynamicHeader(const Tables*& tables) {
    Refill();
    const unsigned litLenCount = Take(5) + 257;
    const unsigned distCount = Take(5) + 1;
    const unsigned codeLengthCount = Take(4) + 4;
    if (!SymbolCountsInRange(litLenCount, distCount)) return InflateStatus::Corrupt;

    std::array<std::uint8_t, 19> codeLengthLengths{};
    for (unsigned i = 0; i < codeLengthCount; ++i) {
      Refill();
      codeLengthLengths[kCodeLengthOrder[i]] = static_cast<std::uint8_t>(Take(3));
    }
    std::array<std::uint32_t, 1u << kCodeLengthTableBits> codeLengthTable;
    if (!BuildTable(codeLengthLengths.data(), 19, kCodeLengthEntries.data(), kCodeLengthTableBits, CodeSet::Complete,
                    codeLengthTable.data())) {
      return InflateStatus::Corrupt;
    }

    std::array<std::uint8_t, kMaxLitLenUsed + kMaxDistUsed> lengths{};
    const unsigned total = litLenCount + distCount;
    for (unsigned i = 0; i < total;) {
      Refill();
      if (!PaddingUnused(padding_, bits_)) return InflateStatus::Truncated;
      const std::uint32_t e = Decode(codeLengthTable.data(), kCodeLengthTableBits);
      const unsigned symbol = ValueOf(e);
      if (symbol < 16) {
        lengths[i++] = static_cast<std::uint8_t>(symbol);
        continue;
      }
      std::uint8_t value = 0;
      unsigned repeat;
      if (symbol == 16) {
        if (!RepeatHasPrevious(i)) return InflateStatus::Corrupt;
        value = lengths[i - 1];
        repeat = 3 + Take(2);
      } else if (symbol == 17) {
        repeat = 3 + Take(3);
      } else {
        repeat = 11 + Take(7);
      }
      if (!RepeatFits(i, repeat, total)) return InflateStatus::Corrupt;
      std::fill(lengths.begin() + i, lengths.begin() + i + repeat, value);
      i += repeat;
    }
    if (!EndOfBlockHasCode(lengths[kEndOfBlock])) return InflateStatus::Corrupt;
    tables = ThreadTableCache().For(lengths.data(), litLenCount, distCount);
    return tables != nullptr ? InflateStatus::Ok : InflateStatus::Corrupt;
  }

  InflateStatus Huffman(const Tables& tables) {
    for (;;) {
      Refill();
      if (!PaddingUnused(padding_, bits_)) return InflateStatus::Truncated;
      Reserve(0);
      std::uint32_t e = Decode(tables.litLen.data(), kLitLenTableBits);
      if (EntryIs(e, Kind::Literal)) {
        if (!OutputFits(written_, 1, maxOutput_)) return InflateStatus::TooLarge;
        out_[written_++] = static_cast<std::uint8_t>(ValueOf(e));
        continue;
      }
      if (EntryIs(e, Kind::End)) return InflateStatus::Ok;
      if (!EntryIs(e, Kind::Match)) return InflateStatus::Corrupt;
      const std::size_t length = ValueOf(e) + Take(ExtraBits(e));
      e = Decode(tables.dist.data(), kDistTableBits);
      if (!EntryIs(e, Kind::Match)) return InflateStatus::Corrupt;
      const std::size_t distance = ValueOf(e) + Take(ExtraBits(e));
      if (!DistanceWithinOutput(distance, written_)) return InflateStatus::Corrupt;
      if (!OutputFits(written_, length, maxOutput_)) return InflateStatus::TooLarge;
      CopyMatch(out_.data() + written_, distance, length);
      written_ += length;
    }
  }

  // Within the slack: writes may run up to 7 bytes past length.
  static void CopyMatch(std::uint8_t* dst, std::size_t distance, std::size_t length) {
    const std::uint8_t* src = dst - distance;
    if (distance >= 8) {
      for (std::size_t i = 0; i < length; i += 8) std::memcpy(dst + i, src + i, 8);
    } else if (distance == 1) {
      std::memset(dst, *src, length);
    } else {
      for (std::size_t i = 0; i < length; ++i) dst[i] = src[i];
    }
  }

  const std::uint8_t* begin_;
  const std::uint8_t* pos_;
  const std::uint8_t* end_;
  std::uint64_t buffer_ = 0;
  unsigned bits_ = 0;
  std::size_t padding_ = 0;  // zero bytes fed to the buffer past the input's end
  std::size_t maxOutput_;
  std::vector<std::uint8_t> out_;
  std::size_t written_ = 0;
};

}  // namespace

InflateResult Inflate(std::span<const std::uint8_t> input, std::size_t maxOutput) {
  return Decoder(input, maxOutput).Run();
}

}  // namespace kestrel::zip
