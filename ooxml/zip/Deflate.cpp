// Raw Deflate compression, tuned to match zlib's level 6 in size at the same or better speed.
//
// What it guarantees. Any input, of any length, becomes one stream that every conforming
// decoder turns back into the input: every Huffman code written is complete and within the
// length limits (15 bits, 7 for the code-length code), every match is checked byte by byte
// against the input before it is used, and each block is written in whichever of the three
// forms (stored, fixed, dynamic) is smallest, so incompressible data grows by only a few bytes
// per 64 KiB.
//
// How it finds matches. A hash of the next three bytes heads a chain of earlier positions with
// the same hash; the chain is walked up to 128 steps (32 once a good match is in hand) and stops
// at a match of 128 bytes. Matching is lazy: a match is only taken if the next position does
// not start a longer one. Blocks end every 16383 symbols, so codes follow changes in the data.
#include "ooxml/zip/Deflate.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>

#include "ooxml/zip/DeflateFormat.h"
#include "ooxml/zip/HuffmanLengths.h"

namespace kestrel::zip {
namespace {

using format::kCodeLengthOrder;
using format::kEndOfBlock;
using format::kLengthBase;
using format::kLengthExtra;
using format::kMaxCodeLength;

// ---- Parameters ----

constexpr std::size_t kWindow = 32768;
constexpr std::size_t kMinMatch = 3;
constexpr std::size_t kMaxMatch = 258;
constexpr unsigned kHashBits = 15;
constexpr unsigned kMaxChain = 128;
constexpr unsigned kGoodLength = 8;   // a match this long cuts the next search to a quarter
constexpr unsigned kLazyLength = 16;  // a match this long is taken without looking further
constexpr unsigned kNiceLength = 128; // a match this long ends the search
constexpr std::size_t kTooFar = 4096; // a 3-byte match further back costs more than 3 literals
constexpr std::size_t kBlockSymbols = 16383;
constexpr std::size_t kMaxStored = 65535;

constexpr unsigned kLitLenSymbols = 286;
constexpr unsigned kLitLenCodes = 288;  // the fixed code also gives 286 and 287 codes
constexpr unsigned kDistSymbols = 30;
constexpr unsigned kCodeLengthSymbols = 19;
constexpr unsigned kMaxCodeLengthCodeLength = 7;


// Length 3..258 to its symbol offset (0..28); 258 has its own symbol though 284 could reach it.
constexpr std::array<std::uint8_t, kMaxMatch + 1> MakeLengthSymbols() {
  std::array<std::uint8_t, kMaxMatch + 1> t{};
  for (std::size_t s = 0; s < 28; ++s) {
    for (std::size_t len = kLengthBase[s]; len < kLengthBase[s] + (1u << kLengthExtra[s]) && len < kMaxMatch; ++len) {
      t[len] = static_cast<std::uint8_t>(s);
    }
  }
  t[kMaxMatch] = 28;
  return t;
}
constexpr auto kLengthSymbols = MakeLengthSymbols();

// Distance 1..32768 to its code: two codes per power of two past the first four.
unsigned DistanceCode(std::size_t distance) {
  const auto x = static_cast<unsigned>(distance - 1);
  if (x < 4) return x;
  const unsigned top = static_cast<unsigned>(std::bit_width(x)) - 1;
  return 2 * top + ((x >> (top - 1)) & 1);
}
constexpr unsigned DistanceExtraBits(unsigned code) { return code < 4 ? 0 : code / 2 - 1; }
constexpr unsigned DistanceBaseMinusOne(unsigned code) { return code < 4 ? code : (2 + (code & 1)) << (code / 2 - 1); }

// ---- Symbols of a block ----
// A literal is its byte; a match sets bit 31 and packs length - 3 and distance - 1.

constexpr std::uint32_t kMatchFlag = 0x80000000u;

}  // namespace

// ---- Huffman code lengths ----

// A lone code would be incomplete, which some decoders refuse; hence at least two.
void BuildCodeLengths(std::span<const std::uint32_t> freq, unsigned limit, std::span<std::uint8_t> lengths) {
  const auto count = static_cast<unsigned>(freq.size());
  std::array<std::uint16_t, kLitLenSymbols> leaves{};  // symbols, least frequent first
  unsigned used = 0;
  for (unsigned s = 0; s < count; ++s) {
    lengths[s] = 0;
    if (freq[s] != 0) leaves[used++] = static_cast<std::uint16_t>(s);
  }
  if (used < 2) {
    for (unsigned s = 0; used < 2; ++s) {
      if (freq[s] == 0) leaves[used++] = static_cast<std::uint16_t>(s);
    }
    lengths[leaves[0]] = 1;
    lengths[leaves[1]] = 1;
    return;
  }
  std::stable_sort(leaves.begin(), leaves.begin() + used, [&](std::uint16_t a, std::uint16_t b) { return freq[a] < freq[b]; });

  // Two queues: sorted leaves, and internal nodes, which are made in order of weight.
  std::array<std::uint64_t, 2 * kLitLenSymbols> weight{};
  std::array<std::uint16_t, 2 * kLitLenSymbols> parent{};
  for (unsigned i = 0; i < used; ++i) weight[i] = freq[leaves[i]];
  unsigned nextLeaf = 0;
  unsigned nextNode = used;
  const unsigned root = 2 * used - 2;
  for (unsigned made = used; made <= root; ++made) {
    std::array<unsigned, 2> pick{};
    for (auto& p : pick) {
      if (nextLeaf < used && (nextNode >= made || weight[nextLeaf] <= weight[nextNode])) {
        p = nextLeaf++;
      } else {
        p = nextNode++;
      }
    }
    weight[made] = weight[pick[0]] + weight[pick[1]];
    parent[pick[0]] = static_cast<std::uint16_t>(made);
    parent[pick[1]] = static_cast<std::uint16_t>(made);
  }
  std::array<unsigned, 2 * kLitLenSymbols> depth{};
  for (unsigned node = root; node-- > 0;) depth[node] = depth[parent[node]] + 1;

  // Clamp to the limit, then restore Kraft's equality: lengthen the deepest cheap codes while
  // over-subscribed, then shorten the most frequent ones while room is left.
  const unsigned full = 1u << limit;
  unsigned kraft = 0;
  for (unsigned i = 0; i < used; ++i) {
    depth[i] = std::min(depth[i], limit);
    kraft += 1u << (limit - depth[i]);
  }
  while (kraft > full) {
    unsigned pickLeaf = used;
    for (unsigned i = 0; i < used; ++i) {
      if (depth[i] < limit && (pickLeaf == used || depth[i] > depth[pickLeaf])) pickLeaf = i;
    }
    ++depth[pickLeaf];
    kraft -= 1u << (limit - depth[pickLeaf]);
  }
  while (kraft < full) {
    for (unsigned i = used; i-- > 0;) {
      while (depth[i] > 1 && kraft + (1u << (limit - depth[i])) <= full) {
        kraft += 1u << (limit - depth[i]);
        --depth[i];
      }
    }
  }
  for (unsigned i = 0; i < used; ++i) lengths[leaves[i]] = static_cast<std::uint8_t>(depth[i]);
}

namespace {

// Canonical codes, bit-reversed because Deflate sends Huffman codes from their top bit.
void AssignCodes(const std::uint8_t* lengths, unsigned count, std::uint16_t* codes) {
  std::array<unsigned, kMaxCodeLength + 2> next{};
  std::array<unsigned, kMaxCodeLength + 1> perLength{};
  for (unsigned s = 0; s < count; ++s) ++perLength[lengths[s]];
  perLength[0] = 0;
  for (unsigned len = 1; len <= kMaxCodeLength; ++len) next[len + 1] = (next[len] + perLength[len]) << 1;
  for (unsigned s = 0; s < count; ++s) {
    unsigned code = next[lengths[s]]++;
    unsigned reversed = 0;
    for (unsigned i = 0; i < lengths[s]; ++i, code >>= 1) reversed = (reversed << 1) | (code & 1);
    codes[s] = static_cast<std::uint16_t>(reversed);
  }
}

struct Code {
  std::array<std::uint8_t, kLitLenCodes> litLenLengths{};
  std::array<std::uint16_t, kLitLenCodes> litLenCodes{};
  std::array<std::uint8_t, kDistSymbols> distLengths{};
  std::array<std::uint16_t, kDistSymbols> distCodes{};
  void Assign() {
    AssignCodes(litLenLengths.data(), kLitLenCodes, litLenCodes.data());
    AssignCodes(distLengths.data(), kDistSymbols, distCodes.data());
  }
};

Code MakeFixedCode() {
  Code c;
  for (unsigned s = 0; s < kLitLenCodes; ++s) c.litLenLengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
  c.distLengths.fill(5);
  c.Assign();
  return c;
}

// ---- Bits out ----

class BitWriter {
 public:
  explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}
  // n <= 32 and value < 2^n.
  void Put(std::uint32_t value, unsigned n) {
    buffer_ |= static_cast<std::uint64_t>(value) << count_;
    count_ += n;
    if (count_ >= 32) {
      const std::size_t size = out_.size();
      out_.resize(size + 4);
      const auto low = static_cast<std::uint32_t>(buffer_);
      std::memcpy(out_.data() + size, &low, 4);  // little-endian, as on every target we ship
      buffer_ >>= 32;
      count_ -= 32;
    }
  }
  // Pads with zero bits to a byte boundary and writes out everything buffered.
  void Align() {
    for (; count_ > 0; count_ = count_ > 8 ? count_ - 8 : 0) {
      out_.push_back(static_cast<std::uint8_t>(buffer_));
      buffer_ >>= 8;
    }
    buffer_ = 0;
  }
  std::vector<std::uint8_t>& Bytes() { return out_; }

 private:
  std::vector<std::uint8_t>& out_;
  std::uint64_t buffer_ = 0;
  unsigned count_ = 0;
};

// ---- The compressor ----

class Compressor {
 public:
  explicit Compressor(std::span<const std::uint8_t> input)
      : data_(input.data()), size_(input.size()), writer_(out_), fixed_(MakeFixedCode()) {
    out_.reserve(size_ / 3 + 64);
    head_.fill(kEmptyHead);
    symbols_.reserve(kBlockSymbols + 1);
  }

  std::vector<std::uint8_t> Run() {
    std::size_t pos = 0;
    std::size_t prevLength = 0;  // match found at pos - 1, when pending
    std::size_t prevDistance = 0;
    bool pending = false;  // pos - 1 is not yet emitted
    while (pos < size_) {
      if (size_ - pos >= kMinMatch) Insert(pos);
      std::size_t length = 0;
      std::size_t distance = 0;
      if (prevLength < kLazyLength && size_ - pos >= kMinMatch) {
        length = LongestMatch(pos, std::max(prevLength, kMinMatch - 1), distance);
        if (length == kMinMatch && distance > kTooFar) length = 0;
      }
      if (pending && prevLength >= kMinMatch && length <= prevLength) {
        const std::size_t end = pos - 1 + prevLength;
        EmitMatch(prevLength, prevDistance);
        for (std::size_t p = pos + 1; p < end; ++p) {
          if (size_ - p >= kMinMatch) Insert(p);
        }
        pos = end;
        pending = false;
        prevLength = 0;
      } else {
        if (pending) EmitLiteral(pos - 1);
        pending = true;
        prevLength = length;
        prevDistance = distance;
        ++pos;
      }
      if (symbols_.size() >= kBlockSymbols) FlushBlock(false);
    }
    if (pending) EmitLiteral(pos - 1);
    FlushBlock(true);
    writer_.Align();
    return std::move(out_);
  }

 private:
  // -- Matches --

  // Heads are positions modulo 2^32; a wrapped one only yields a candidate that the byte
  // comparison then accepts or rejects, so inputs past 4 GiB still compress correctly. Chains
  // hold the step back to the previous position with the same hash, capped past the window:
  // two bytes an entry keeps them in cache, and distances only grow along a chain.
  static constexpr std::uint32_t kEmptyHead = 0x80000000u;
  static constexpr std::uint16_t kNoStep = 0xFFFF;

  std::uint32_t Hash(std::size_t pos) const {
    const std::uint32_t v = data_[pos] | (static_cast<std::uint32_t>(data_[pos + 1]) << 8) |
                            (static_cast<std::uint32_t>(data_[pos + 2]) << 16);
    return (v * 0x9E3779B1u) >> (32 - kHashBits);
  }
  void Insert(std::size_t pos) {
    const std::uint32_t h = Hash(pos);
    const std::uint32_t step = static_cast<std::uint32_t>(pos) - head_[h];  // 0 only after a wrap
    steps_[pos & (kWindow - 1)] = static_cast<std::uint16_t>(step == 0 || step > kNoStep ? kNoStep : step);
    head_[h] = static_cast<std::uint32_t>(pos);
  }

  std::size_t MatchLength(const std::uint8_t* a, const std::uint8_t* b, std::size_t limit) const {
    std::size_t n = 0;
    while (n + 8 <= limit) {
      std::uint64_t x;
      std::uint64_t y;
      std::memcpy(&x, a + n, 8);
      std::memcpy(&y, b + n, 8);
      if (x != y) return n + static_cast<std::size_t>(std::countr_zero(x ^ y)) / 8;
      n += 8;
    }
    while (n < limit && a[n] == b[n]) ++n;
    return n;
  }

  // The longest match at pos longer than best (pos already inserted), or 0.
  std::size_t LongestMatch(std::size_t pos, std::size_t best, std::size_t& distance) const {
    const std::size_t limit = std::min(kMaxMatch, size_ - pos);
    if (best >= limit) return 0;
    const std::size_t nice = std::min<std::size_t>(kNiceLength, limit);
    unsigned chain = best >= kGoodLength ? kMaxChain / 4 : kMaxChain;
    const std::size_t found = best;
    const std::uint8_t* here = data_ + pos;
    const std::size_t farthest = std::min(kWindow, pos);
    for (std::size_t d = steps_[pos & (kWindow - 1)]; d <= farthest && chain-- > 0; d += steps_[(pos - d) & (kWindow - 1)]) {
      const std::uint8_t* there = here - d;
      if (there[best] == here[best] && there[0] == here[0] && there[1] == here[1]) {
        const std::size_t len = MatchLength(there, here, limit);
        if (len > best) {
          best = len;
          distance = d;
          if (len >= nice) break;
        }
      }
    }
    return best > found ? best : 0;
  }

  // -- Symbols --

  void EmitLiteral(std::size_t pos) {
    symbols_.push_back(data_[pos]);
    ++litLenFreq_[data_[pos]];
    covered_ = pos + 1;
  }
  void EmitMatch(std::size_t length, std::size_t distance) {
    symbols_.push_back(kMatchFlag | static_cast<std::uint32_t>((length - kMinMatch) << 16) |
                       static_cast<std::uint32_t>(distance - 1));
    ++litLenFreq_[257 + kLengthSymbols[length]];
    ++distFreq_[DistanceCode(distance)];
    covered_ += length;  // everything before the match is already emitted
  }

  // -- Blocks --

  // Bits of the block's symbols under a code, end code included.
  std::size_t DataBits(const Code& code) const {
    std::size_t bits = code.litLenLengths[kEndOfBlock];
    for (unsigned s = 0; s < 256; ++s) bits += std::size_t{litLenFreq_[s]} * code.litLenLengths[s];
    for (unsigned s = 0; s < 29; ++s) bits += std::size_t{litLenFreq_[257 + s]} * (code.litLenLengths[257 + s] + kLengthExtra[s]);
    for (unsigned s = 0; s < kDistSymbols; ++s) bits += std::size_t{distFreq_[s]} * (code.distLengths[s] + DistanceExtraBits(s));
    return bits;
  }

  void WriteSymbols(const Code& code) {
    for (const std::uint32_t sym : symbols_) {
      if ((sym & kMatchFlag) == 0) {
        writer_.Put(code.litLenCodes[sym], code.litLenLengths[sym]);
        continue;
      }
      const std::size_t length = ((sym >> 16) & 0xFF) + kMinMatch;
      const std::size_t distance = (sym & 0xFFFF) + 1;
      const unsigned ls = kLengthSymbols[length];
      writer_.Put(code.litLenCodes[257 + ls], code.litLenLengths[257 + ls]);
      writer_.Put(static_cast<std::uint32_t>(length - kLengthBase[ls]), kLengthExtra[ls]);
      const unsigned dc = DistanceCode(distance);
      writer_.Put(code.distCodes[dc], code.distLengths[dc]);
      writer_.Put(static_cast<std::uint32_t>(distance - 1 - DistanceBaseMinusOne(dc)), DistanceExtraBits(dc));
    }
    writer_.Put(code.litLenCodes[kEndOfBlock], code.litLenLengths[kEndOfBlock]);
  }

  struct CodeLengthRun {
    std::uint8_t symbol;
    std::uint8_t extra;
  };

  // The lengths of both codes as one sequence of code-length symbols with runs folded.
  static std::vector<CodeLengthRun> FoldLengths(const std::uint8_t* lengths, unsigned total) {
    std::vector<CodeLengthRun> runs;
    for (unsigned i = 0; i < total;) {
      const std::uint8_t v = lengths[i];
      unsigned run = 1;
      while (i + run < total && lengths[i + run] == v) ++run;
      i += run;
      if (v == 0) {
        for (; run >= 11; run -= std::min(run, 138u)) runs.push_back({18, static_cast<std::uint8_t>(std::min(run, 138u) - 11)});
        if (run >= 3) {
          runs.push_back({17, static_cast<std::uint8_t>(run - 3)});
          run = 0;
        }
      } else {
        runs.push_back({v, 0});
        --run;
        for (; run >= 3; run -= std::min(run, 6u)) runs.push_back({16, static_cast<std::uint8_t>(std::min(run, 6u) - 3)});
      }
      for (; run > 0; --run) runs.push_back({v, 0});
    }
    return runs;
  }

  void FlushBlock(bool last) {
    litLenFreq_[kEndOfBlock] = 1;
    Code dynamic;
    BuildCodeLengths(litLenFreq_, kMaxCodeLength, std::span(dynamic.litLenLengths).first(kLitLenSymbols));
    BuildCodeLengths(distFreq_, kMaxCodeLength, dynamic.distLengths);
    unsigned litLenCount = kLitLenSymbols;
    while (dynamic.litLenLengths[litLenCount - 1] == 0) --litLenCount;
    unsigned distCount = kDistSymbols;
    while (dynamic.distLengths[distCount - 1] == 0) --distCount;
    std::array<std::uint8_t, kLitLenSymbols + kDistSymbols> all{};
    std::copy_n(dynamic.litLenLengths.begin(), litLenCount, all.begin());
    std::copy_n(dynamic.distLengths.begin(), distCount, all.begin() + litLenCount);
    const std::vector<CodeLengthRun> runs = FoldLengths(all.data(), litLenCount + distCount);
    std::array<std::uint32_t, kCodeLengthSymbols> clFreq{};
    for (const auto& r : runs) ++clFreq[r.symbol];
    std::array<std::uint8_t, kCodeLengthSymbols> clLengths{};
    BuildCodeLengths(clFreq, kMaxCodeLengthCodeLength, clLengths);
    unsigned clCount = kCodeLengthSymbols;
    while (clLengths[kCodeLengthOrder[clCount - 1]] == 0) --clCount;
    clCount = std::max(clCount, 4u);

    std::size_t dynamicBits = 3 + 5 + 5 + 4 + 3 * clCount;
    for (const auto& r : runs) dynamicBits += clLengths[r.symbol] + (r.symbol == 16 ? 2 : r.symbol == 17 ? 3 : r.symbol == 18 ? 7 : 0);
    dynamic.Assign();
    dynamicBits += DataBits(dynamic);
    const std::size_t fixedBits = 3 + DataBits(fixed_);
    const std::size_t bytes = covered_ - blockStart_;
    const std::size_t chunks = std::max<std::size_t>(1, (bytes + kMaxStored - 1) / kMaxStored);
    const std::size_t storedBits = chunks * (3 + 7 + 32) + 8 * bytes;  // padding counted at its worst

    if (storedBits <= std::min(dynamicBits, fixedBits)) {
      WriteStored(last, bytes);
    } else if (fixedBits <= dynamicBits) {
      writer_.Put(last ? 1 : 0, 1);
      writer_.Put(1, 2);
      WriteSymbols(fixed_);
    } else {
      writer_.Put(last ? 1 : 0, 1);
      writer_.Put(2, 2);
      writer_.Put(litLenCount - 257, 5);
      writer_.Put(distCount - 1, 5);
      writer_.Put(clCount - 4, 4);
      for (unsigned i = 0; i < clCount; ++i) writer_.Put(clLengths[kCodeLengthOrder[i]], 3);
      std::array<std::uint16_t, kCodeLengthSymbols> clCodes{};
      AssignCodes(clLengths.data(), kCodeLengthSymbols, clCodes.data());
      for (const auto& r : runs) {
        writer_.Put(clCodes[r.symbol], clLengths[r.symbol]);
        if (r.symbol >= 16) writer_.Put(r.extra, r.symbol == 16 ? 2 : r.symbol == 17 ? 3 : 7);
      }
      WriteSymbols(dynamic);
    }
    blockStart_ = covered_;
    symbols_.clear();
    litLenFreq_.fill(0);
    distFreq_.fill(0);
  }

  void WriteStored(bool last, std::size_t bytes) {
    std::size_t start = blockStart_;
    do {
      const std::size_t n = std::min(bytes, kMaxStored);
      bytes -= n;
      writer_.Put(last && bytes == 0 ? 1 : 0, 1);
      writer_.Put(0, 2);
      writer_.Align();
      writer_.Put(static_cast<std::uint32_t>(n), 16);
      writer_.Put(static_cast<std::uint32_t>(~n & 0xFFFF), 16);
      writer_.Bytes().insert(writer_.Bytes().end(), data_ + start, data_ + start + n);
      start += n;
    } while (bytes > 0);
  }

  const std::uint8_t* data_;
  std::size_t size_;
  std::vector<std::uint8_t> out_;
  BitWriter writer_;
  const Code fixed_;
  std::array<std::uint32_t, 1u << kHashBits> head_;
  std::array<std::uint16_t, kWindow> steps_{};
  std::vector<std::uint32_t> symbols_;
  std::array<std::uint32_t, kLitLenSymbols> litLenFreq_{};
  std::array<std::uint32_t, kDistSymbols> distFreq_{};
  std::size_t blockStart_ = 0;
  std::size_t covered_ = 0;  // input bytes the emitted symbols stand for
};

}  // namespace

std::vector<std::uint8_t> Deflate(std::span<const std::uint8_t> input) {
  return std::make_unique<Compressor>(input)->Run();
}

}  // namespace kestrel::zip
