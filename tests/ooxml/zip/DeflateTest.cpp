#include "ooxml/zip/Deflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <functional>
#include <queue>
#include <random>

#include "ooxml/zip/HuffmanLengths.h"
#include "ooxml/zip/Inflate.h"
#include "tests/ooxml/zip/CodecCorpus.h"

namespace kestrel::zip {
namespace {

using test::Bytes;
constexpr std::size_t kLimit = std::size_t{64} << 20;

// zlib must give back the input exactly from our stream, using the whole stream; so must we.
void ExpectRoundTrip(const Bytes& input, const std::string& name) {
  const Bytes stream = Deflate(input);
  const test::ZlibInflated theirs = test::ZlibInflate(stream, kLimit);
  ASSERT_TRUE(theirs.ok) << name << ": zlib refuses our stream";
  EXPECT_EQ(theirs.data, input) << name;
  EXPECT_EQ(theirs.consumed, stream.size()) << name;
  const InflateResult ours = Inflate(stream, kLimit);
  ASSERT_EQ(ours.status, InflateStatus::Ok) << name;
  EXPECT_EQ(ours.data, input) << name;
}

TEST(DeflateTest, ZlibDecodesOurOutputExactly) {
  for (const auto& input : test::CodecInputs()) ExpectRoundTrip(input.bytes, input.name);
  for (const auto& entry : test::DocxEntries(std::filesystem::path(KESTREL_SOURCE_DIR) / "tests" / "data")) {
    ExpectRoundTrip(entry.data, entry.name);
  }
}

TEST(DeflateTest, EdgeInputs) {
  const Bytes empty = Deflate({});
  EXPECT_FALSE(empty.empty());
  ExpectRoundTrip({}, "empty");
  for (std::size_t n = 1; n < 600; n += 7) ExpectRoundTrip(test::RandomBytes(n, static_cast<std::uint32_t>(n)), "short random");
  for (std::size_t n : {3u, 4u, 258u, 259u, 261u, 1000u, 70000u}) ExpectRoundTrip(Bytes(n, 'z'), "one byte repeated");
  // Skewed byte frequencies, which push Huffman codes long.
  Bytes skewed;
  std::uint64_t a = 1;
  std::uint64_t b = 1;
  for (int symbol = 0; symbol < 26; ++symbol) {
    for (int copy = 0; copy < 8; ++copy) skewed.insert(skewed.end(), a, static_cast<std::uint8_t>(symbol * 8 + copy));
    const std::uint64_t next = a + b;
    a = b;
    b = next;
  }
  std::shuffle(skewed.begin(), skewed.end(), std::mt19937(5));
  ExpectRoundTrip(skewed, "Fibonacci frequencies");
}

// Total bits of an optimal (unlimited) Huffman code: the sum of all merged weights.
std::uint64_t HuffmanCost(const std::vector<std::uint32_t>& freq) {
  std::priority_queue<std::uint64_t, std::vector<std::uint64_t>, std::greater<>> queue;
  for (auto f : freq) {
    if (f != 0) queue.push(f);
  }
  std::uint64_t cost = 0;
  while (queue.size() > 1) {
    const std::uint64_t a = queue.top();
    queue.pop();
    const std::uint64_t b = queue.top();
    queue.pop();
    cost += a + b;
    queue.push(a + b);
  }
  return cost;
}

struct LengthsChecked {
  std::uint64_t cost = 0;
  unsigned longest = 0;
};

// The lengths must form a complete code within the limit, giving every used symbol a code.
LengthsChecked CheckLengths(const std::vector<std::uint32_t>& freq, unsigned limit) {
  std::vector<std::uint8_t> lengths(freq.size(), 99);
  BuildCodeLengths(freq, limit, lengths);
  LengthsChecked checked;
  std::uint64_t kraft = 0;
  unsigned codes = 0;
  for (std::size_t s = 0; s < freq.size(); ++s) {
    EXPECT_LE(lengths[s], limit);
    if (freq[s] != 0) {
      EXPECT_NE(lengths[s], 0) << "symbol " << s;
    }
    if (lengths[s] != 0) {
      kraft += std::uint64_t{1} << (limit - lengths[s]);
      ++codes;
    }
    checked.cost += std::uint64_t{freq[s]} * lengths[s];
    checked.longest = std::max<unsigned>(checked.longest, lengths[s]);
  }
  EXPECT_EQ(kraft, std::uint64_t{1} << limit) << "the code must be complete";
  EXPECT_GE(codes, 2u);
  return checked;
}

TEST(DeflateTest, CodeLengthsAreCompleteWithinTheLimit) {
  // Fibonacci frequencies make the deepest possible tree: unlimited, 29 symbols need 28 bits.
  std::vector<std::uint32_t> fibonacci = {1, 1};
  while (fibonacci.size() < 29) fibonacci.push_back(fibonacci[fibonacci.size() - 1] + fibonacci[fibonacci.size() - 2]);
  EXPECT_EQ(CheckLengths(fibonacci, 15).longest, 15u);
  EXPECT_EQ(CheckLengths(std::vector<std::uint32_t>(fibonacci.begin(), fibonacci.begin() + 19), 7).longest, 7u);
  // Few symbols: a lone or missing symbol still gets a two-code set.
  CheckLengths({0, 0, 0}, 15);
  CheckLengths({0, 5, 0}, 15);
  CheckLengths({7, 5}, 7);

  std::mt19937 rng(31);
  for (int trial = 0; trial < 2000; ++trial) {
    const unsigned limit = trial % 2 == 0 ? 15 : 7;
    std::vector<std::uint32_t> freq(limit == 7 ? 19 : 2 + rng() % 285);
    for (auto& f : freq) f = rng() % 3 == 0 ? 0 : 1u << (rng() % 20);
    const LengthsChecked checked = CheckLengths(freq, limit);
    const auto used = std::count_if(freq.begin(), freq.end(), [](std::uint32_t f) { return f != 0; });
    if (checked.longest < limit && used >= 2) {
      EXPECT_EQ(checked.cost, HuffmanCost(freq)) << "within the limit the code must be optimal, trial " << trial;
    }
  }
}

TEST(DeflateTest, SizeIsCloseToZlibLevelSix) {
  std::vector<test::NamedInput> xml = {{"synthetic xml", test::SyntheticXml(1 << 20, 21)}};
  for (const auto& input : test::CodecInputs()) {
    if (input.name.starts_with("xml")) xml.push_back(input);
  }
  for (const auto& input : xml) {
    const double ours = static_cast<double>(Deflate(input.bytes).size());
    const double zlib = static_cast<double>(test::ZlibDeflate(input.bytes, 6, Z_DEFAULT_STRATEGY).size());
    EXPECT_LE(ours, zlib * 1.02) << input.name << ": ours " << ours << ", zlib " << zlib;
  }
}

TEST(DeflateTest, IncompressibleDataBarelyGrows) {
  const Bytes random = test::RandomBytes(300000, 22);
  // A block per 16383 symbols, each stored with a 5-byte header.
  const std::size_t blocks = (random.size() + 16382) / 16383;
  EXPECT_LE(Deflate(random).size(), random.size() + 5 * blocks + 1);
  EXPECT_LT(Deflate(Bytes(1 << 20, 0)).size(), 2100u) << "runs are matched at length 258";
}

}  // namespace
}  // namespace kestrel::zip
