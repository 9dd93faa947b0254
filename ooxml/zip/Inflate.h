// Decompression of raw Deflate streams (no zlib or gzip wrapper), as ZIP entries store them.
// Failures are statuses: nothing here throws except std::bad_alloc.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kestrel::zip {

enum class InflateStatus {
  Ok,
  Corrupt,    // the bits are not a Deflate stream
  Truncated,  // the input ends before the final block does
  TooLarge,   // the output would pass maxOutput
};

struct InflateResult {
  InflateStatus status = InflateStatus::Corrupt;
  std::vector<std::uint8_t> data;  // empty unless status is Ok
  std::size_t consumed = 0;        // input bytes up to the end of the final block, when Ok
};

// Decodes the whole stream in memory. maxOutput is a hard limit, so a small bomb cannot make
// the process allocate more than about maxOutput bytes.
InflateResult Inflate(std::span<const std::uint8_t> input, std::size_t maxOutput);

}  // namespace kestrel::zip
