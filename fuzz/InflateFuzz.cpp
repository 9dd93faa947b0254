// Inflate against zlib as the reference decoder: both must accept or refuse the same inputs
// and agree on the output and its end; whatever decodes must also survive our own round trip.
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "ooxml/zip/Deflate.h"
#include "ooxml/zip/Inflate.h"

namespace {

constexpr std::size_t kLimit = std::size_t{1} << 20;

struct Reference {
  bool ok = false;
  std::vector<std::uint8_t> data;
  std::size_t consumed = 0;
};

// zlib's raw inflate into a buffer one byte past the limit, so going past it shows.
Reference ZlibInflate(std::span<const std::uint8_t> input) {
  Reference ref;
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) std::abort();
  ref.data.resize(kLimit + 1);
  z.next_in = const_cast<Bytef*>(input.data());
  z.avail_in = static_cast<uInt>(input.size());
  z.next_out = ref.data.data();
  z.avail_out = static_cast<uInt>(ref.data.size());
  const int rc = inflate(&z, Z_FINISH);
  ref.ok = rc == Z_STREAM_END && z.total_out <= kLimit;
  ref.data.resize(z.total_out);
  ref.consumed = z.total_in;
  inflateEnd(&z);
  return ref;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kestrel::zip;
  const std::span<const std::uint8_t> input(data, size);
  const InflateResult ours = Inflate(input, kLimit);
  const Reference theirs = ZlibInflate(input);
  if ((ours.status == InflateStatus::Ok) != theirs.ok) std::abort();
  if (ours.status != InflateStatus::Ok) return 0;
  if (ours.data != theirs.data || ours.consumed != theirs.consumed) std::abort();
  const InflateResult again = Inflate(Deflate(ours.data), kLimit);
  if (again.status != InflateStatus::Ok || again.data != ours.data) std::abort();
  return 0;
}
