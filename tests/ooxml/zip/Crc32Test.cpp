#include "ooxml/zip/Crc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string_view>

#include "tests/ooxml/zip/CodecCorpus.h"

namespace kestrel::zip {
namespace {

std::uint32_t ZlibCrc(std::span<const std::uint8_t> data) {
  return static_cast<std::uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size())));
}

TEST(Crc32Test, KnownValues) {
  constexpr std::string_view kCheck = "123456789";
  EXPECT_EQ(Crc32({reinterpret_cast<const std::uint8_t*>(kCheck.data()), kCheck.size()}), 0xCBF43926u);
  EXPECT_EQ(Crc32({}), 0u);
  EXPECT_EQ(Crc32({}, 0x12345678u), 0x12345678u) << "no data leaves a running CRC alone";
}

TEST(Crc32Test, MatchesZlibAtEveryLengthAndAlignment) {
  const test::Bytes data = test::RandomBytes(70000, 7);
  const std::span<const std::uint8_t> all(data);
  for (std::size_t length = 0; length <= 300; ++length) {
    for (std::size_t offset = 0; offset < 8; ++offset) {
      ASSERT_EQ(Crc32(all.subspan(offset, length)), ZlibCrc(all.subspan(offset, length)))
          << "length " << length << " offset " << offset;
    }
  }
  EXPECT_EQ(Crc32(all), ZlibCrc(all));
  EXPECT_EQ(Crc32(all.subspan(3)), ZlibCrc(all.subspan(3)));
}

TEST(Crc32Test, ChainsAcrossEverySplit) {
  const test::Bytes data = test::RandomBytes(100, 8);
  const std::span<const std::uint8_t> all(data);
  const std::uint32_t whole = Crc32(all);
  for (std::size_t split = 0; split <= all.size(); ++split) {
    ASSERT_EQ(Crc32(all.subspan(split), Crc32(all.first(split))), whole) << "split at " << split;
  }
  const test::Bytes big = test::RandomBytes(1 << 20, 9);
  std::uint32_t running = 0;
  for (std::size_t at = 0; at < big.size(); at += 4099) {
    running = Crc32(std::span(big).subspan(at, std::min<std::size_t>(4099, big.size() - at)), running);
  }
  EXPECT_EQ(running, ZlibCrc(big));
}

}  // namespace
}  // namespace kestrel::zip
