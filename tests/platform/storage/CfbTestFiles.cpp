#include "tests/platform/storage/CfbTestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <sstream>
#include <utility>

#include "platform/LittleEndian.h"
#include "tests/support/TestSupport.h"

namespace kestrel::storage::testing {

namespace {

constexpr std::uint32_t kEnd = 0xFFFFFFFE;
constexpr std::uint32_t kFree = 0xFFFFFFFF;
constexpr std::uint32_t kFatMark = 0xFFFFFFFD;
constexpr std::uint32_t kDifMark = 0xFFFFFFFC;

std::uint32_t Rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

std::size_t Units(std::size_t size, std::size_t unit) { return (size + unit - 1) / unit; }

// The compound-file name order, for the ASCII names the tests use.
bool NameLess(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return a.size() < b.size();
  auto up = [](char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; };
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (up(a[i]) != up(b[i])) return up(a[i]) < up(b[i]);
  }
  return false;
}

}  // namespace

std::string Sha256Hex(const std::vector<std::uint8_t>& bytes) {
  static constexpr std::array<std::uint32_t, 64> k = {
      0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5, 0xd807aa98,
      0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786,
      0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8,
      0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13,
      0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819,
      0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a,
      0x5b9cca4f, 0x682e6ff3, 0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
      0xc67178f2};
  std::array<std::uint32_t, 8> h = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                    0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::vector<std::uint8_t> msg = bytes;
  const std::uint64_t bits = std::uint64_t{bytes.size()} * 8;
  msg.push_back(0x80);
  while (msg.size() % 64 != 56) msg.push_back(0);
  for (int i = 7; i >= 0; --i) msg.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
  for (std::size_t block = 0; block < msg.size(); block += 64) {
    std::array<std::uint32_t, 64> w{};
    for (std::size_t i = 0; i < 16; ++i) {
      const std::uint8_t* p = msg.data() + block + 4 * i;
      w[i] = (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
    }
    for (std::size_t i = 16; i < 64; ++i) {
      std::uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
      std::uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::array<std::uint32_t, 8> v = h;
    for (std::size_t i = 0; i < 64; ++i) {
      std::uint32_t s1 = Rotr(v[4], 6) ^ Rotr(v[4], 11) ^ Rotr(v[4], 25);
      std::uint32_t ch = (v[4] & v[5]) ^ (~v[4] & v[6]);
      std::uint32_t t1 = v[7] + s1 + ch + k[i] + w[i];
      std::uint32_t s0 = Rotr(v[0], 2) ^ Rotr(v[0], 13) ^ Rotr(v[0], 22);
      std::uint32_t maj = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
      std::uint32_t t2 = s0 + maj;
      v = {t1 + t2, v[0], v[1], v[2], v[3] + t1, v[4], v[5], v[6]};
    }
    for (std::size_t i = 0; i < 8; ++i) h[i] += v[i];
  }
  std::string hex;
  char buf[9];
  for (std::uint32_t word : h) {
    std::snprintf(buf, sizeof buf, "%08x", word);
    hex += buf;
  }
  return hex;
}

std::unique_ptr<CompoundFile> Opened(Result<std::unique_ptr<CompoundFile>> opened) {
  if (!opened) {
    ADD_FAILURE() << opened.outcome().message();
    return nullptr;
  }
  return std::move(*opened);
}

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t seed) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(seed * 31 + i * 13 + (i >> 9));
  return bytes;
}

std::vector<std::uint8_t> BuildCompoundFile(const std::vector<GenStream>& input, const GenOptions& options) {
  const std::size_t ss = options.version == 4 ? 4096 : 512;
  const std::size_t perSector = ss / 4;
  std::vector<GenStream> streams = input;
  if (options.fullFatSectors > 0) streams.push_back({u"Filler", {}});

  // Sectors other than FAT, DIFAT and the filler, then the filler fills the FAT to the brim.
  auto layoutSectors = [&](std::size_t& dirCount, std::size_t& miniFatCount, std::size_t& miniStreamCount,
                           std::size_t& miniUnits) {
    dirCount = Units((streams.size() + 1) * 128, ss);
    miniUnits = 0;
    std::size_t big = 0;
    for (const GenStream& s : streams) {
      if (s.content.empty()) continue;
      if (s.content.size() < 4096) {
        miniUnits += Units(s.content.size(), 64);
      } else {
        big += Units(s.content.size(), ss);
      }
    }
    miniFatCount = Units(miniUnits * 4, ss);
    miniStreamCount = Units(miniUnits * 64, ss);
    return dirCount + miniFatCount + miniStreamCount + big;
  };
  std::size_t dirCount = 0, miniFatCount = 0, miniStreamCount = 0, miniUnits = 0;
  std::size_t fatCount = 1, difatCount = 0;
  auto difatFor = [&](std::size_t fats) { return fats > 109 ? Units(fats - 109, perSector - 1) : 0; };
  if (options.fullFatSectors > 0) {
    fatCount = options.fullFatSectors;
    difatCount = difatFor(fatCount);
    std::size_t others = layoutSectors(dirCount, miniFatCount, miniStreamCount, miniUnits);
    const std::size_t fillerSectors = fatCount * perSector - fatCount - difatCount - others;
    streams.back().content = Pattern(fillerSectors * ss, 0xF1);
  }
  const std::size_t others = layoutSectors(dirCount, miniFatCount, miniStreamCount, miniUnits);
  while (fatCount * perSector < fatCount + difatFor(fatCount) + others) ++fatCount;
  difatCount = difatFor(fatCount);

  const std::size_t total = fatCount + difatCount + others;
  std::vector<std::uint32_t> fat(fatCount * perSector, kFree);
  std::vector<std::uint8_t> file((total + 1) * ss, 0);
  auto sectorAt = [&](std::size_t sector) { return (sector + 1) * ss; };
  auto chain = [&](std::size_t first, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) fat[first + i] = i + 1 < count ? static_cast<std::uint32_t>(first + i + 1) : kEnd;
  };
  for (std::size_t i = 0; i < fatCount; ++i) fat[i] = kFatMark;
  for (std::size_t i = 0; i < difatCount; ++i) fat[fatCount + i] = kDifMark;
  std::size_t next = fatCount + difatCount;
  const std::size_t dirFirst = next;
  chain(dirFirst, dirCount);
  next += dirCount;
  const std::size_t miniFatFirst = next;
  chain(miniFatFirst, miniFatCount);
  next += miniFatCount;
  const std::size_t miniStreamFirst = next;
  chain(miniStreamFirst, miniStreamCount);
  next += miniStreamCount;

  // Streams: data, FAT or mini FAT chains, directory entries.
  std::vector<std::uint32_t> miniFat(miniFatCount * perSector, kFree);
  std::size_t miniNext = 0;
  auto entryAt = [&](std::size_t id) { return sectorAt(dirFirst) + id * 128; };  // the directory is contiguous
  for (std::size_t id = 0; id < dirCount * ss / 128; ++id) {
    le::Put32(&file[entryAt(id) + 0x44], kFree);
    le::Put32(&file[entryAt(id) + 0x48], kFree);
    le::Put32(&file[entryAt(id) + 0x4C], kFree);
  }
  auto nameEntry = [&](std::size_t id, const std::u16string& name, std::uint8_t type) {
    for (std::size_t i = 0; i < name.size(); ++i) le::Put16(&file[entryAt(id) + 2 * i], name[i]);
    le::Put16(&file[entryAt(id) + 0x40], static_cast<std::uint16_t>(2 * (name.size() + 1)));
    file[entryAt(id) + 0x42] = type;
    file[entryAt(id) + 0x43] = 1;
  };
  nameEntry(0, u"Root Entry", 5);
  le::Put32(&file[entryAt(0) + 0x74], miniStreamCount > 0 ? static_cast<std::uint32_t>(miniStreamFirst) : kEnd);
  le::Put32(&file[entryAt(0) + 0x78], static_cast<std::uint32_t>(miniUnits * 64));
  for (std::size_t i = 0; i < streams.size(); ++i) {
    const std::size_t id = i + 1;
    const std::vector<std::uint8_t>& content = streams[i].content;
    nameEntry(id, streams[i].name, 2);
    std::uint32_t start = kEnd;
    if (content.empty()) {
    } else if (content.size() < 4096) {
      const std::size_t units = Units(content.size(), 64);
      start = static_cast<std::uint32_t>(miniNext);
      for (std::size_t u = 0; u < units; ++u) miniFat[miniNext + u] = u + 1 < units ? static_cast<std::uint32_t>(miniNext + u + 1) : kEnd;
      std::copy(content.begin(), content.end(), file.begin() + static_cast<std::ptrdiff_t>(sectorAt(miniStreamFirst) + miniNext * 64));
      miniNext += units;
    } else {
      const std::size_t count = Units(content.size(), ss);
      start = static_cast<std::uint32_t>(next);
      chain(next, count);
      std::copy(content.begin(), content.end(), file.begin() + static_cast<std::ptrdiff_t>(sectorAt(next)));
      next += count;
    }
    le::Put32(&file[entryAt(id) + 0x74], start);
    le::Put32(&file[entryAt(id) + 0x78], static_cast<std::uint32_t>(content.size()));
  }

  // The tree: sorted and balanced, the deepest level red (a valid red-black tree), or unsorted.
  std::vector<std::size_t> order(streams.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i + 1;
  std::uint32_t top = kFree;
  if (options.unsortedTree) {
    for (std::size_t i = 0; i + 1 < order.size(); ++i) le::Put32(&file[entryAt(order[i]) + 0x48], static_cast<std::uint32_t>(order[i + 1]));
    if (!order.empty()) top = static_cast<std::uint32_t>(order[0]);
  } else {
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return NameLess(streams[a - 1].name, streams[b - 1].name); });
    std::size_t maxDepth = 0;
    std::function<std::uint32_t(std::size_t, std::size_t, std::size_t)> build = [&](std::size_t lo, std::size_t hi, std::size_t depth) {
      if (lo >= hi) return kFree;
      std::size_t mid = (lo + hi) / 2;
      std::size_t id = order[mid];
      maxDepth = std::max(maxDepth, depth);
      file[entryAt(id) + 0x43] = static_cast<std::uint8_t>(depth);  // depth for now, colour below
      le::Put32(&file[entryAt(id) + 0x44], build(lo, mid, depth + 1));
      le::Put32(&file[entryAt(id) + 0x48], build(mid + 1, hi, depth + 1));
      return static_cast<std::uint32_t>(id);
    };
    top = build(0, order.size(), 0);
    for (std::size_t id : order) {
      std::uint8_t& colour = file[entryAt(id) + 0x43];
      colour = (maxDepth > 0 && colour == maxDepth) ? 0 : 1;
    }
  }
  le::Put32(&file[entryAt(0) + 0x4C], top);

  // Tables.
  for (std::size_t i = 0; i < miniFat.size(); ++i) le::Put32(&file[sectorAt(miniFatFirst) + 4 * i], miniFat[i]);
  for (std::size_t i = 0; i < fat.size(); ++i) le::Put32(&file[sectorAt(i / perSector) + 4 * (i % perSector)], fat[i]);
  for (std::size_t d = 0; d < difatCount; ++d) {
    for (std::size_t i = 0; i < perSector - 1; ++i) {
      const std::size_t index = 109 + d * (perSector - 1) + i;
      le::Put32(&file[sectorAt(fatCount + d) + 4 * i], index < fatCount ? static_cast<std::uint32_t>(index) : kFree);
    }
    le::Put32(&file[sectorAt(fatCount + d) + ss - 4], d + 1 < difatCount ? static_cast<std::uint32_t>(fatCount + d + 1) : kEnd);
  }

  const std::uint8_t signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  std::copy(std::begin(signature), std::end(signature), file.begin());
  le::Put16(&file[0x18], 0x3E);
  le::Put16(&file[0x1A], static_cast<std::uint16_t>(options.version));
  le::Put16(&file[0x1C], 0xFFFE);
  le::Put16(&file[0x1E], options.version == 4 ? 12 : 9);
  le::Put16(&file[0x20], 6);
  le::Put32(&file[0x28], options.version == 4 ? static_cast<std::uint32_t>(dirCount) : 0);
  le::Put32(&file[0x2C], static_cast<std::uint32_t>(fatCount));
  le::Put32(&file[0x30], static_cast<std::uint32_t>(dirFirst));
  le::Put32(&file[0x38], 4096);
  le::Put32(&file[0x3C], miniFatCount > 0 ? static_cast<std::uint32_t>(miniFatFirst) : kEnd);
  le::Put32(&file[0x40], static_cast<std::uint32_t>(miniFatCount));
  le::Put32(&file[0x44], difatCount > 0 ? static_cast<std::uint32_t>(fatCount) : kEnd);
  le::Put32(&file[0x48], static_cast<std::uint32_t>(difatCount));
  for (std::size_t i = 0; i < 109; ++i) le::Put32(&file[0x4C + 4 * i], i < fatCount ? static_cast<std::uint32_t>(i) : kFree);
  return file;
}

std::vector<bool> SectorsInUse(const std::vector<std::uint8_t>& file) {
  auto get32 = [&](std::size_t at) { return le::Get32(&file[at]); };
  const std::size_t ss = std::size_t{1} << le::Get16(&file[0x1E]);
  const std::size_t perSector = ss / 4;
  auto sectorAt = [&](std::uint32_t sector) { return (std::size_t{sector} + 1) * ss; };
  std::vector<std::uint32_t> fatSectors;
  const std::uint32_t fatCount = get32(0x2C);
  for (std::size_t i = 0; i < 109 && fatSectors.size() < fatCount; ++i) fatSectors.push_back(get32(0x4C + 4 * i));
  for (std::uint32_t difat = get32(0x44); fatSectors.size() < fatCount && sectorAt(difat) + ss <= file.size();) {
    for (std::size_t i = 0; i + 1 < perSector && fatSectors.size() < fatCount; ++i) {
      fatSectors.push_back(get32(sectorAt(difat) + 4 * i));
    }
    difat = get32(sectorAt(difat) + ss - 4);
  }
  std::vector<bool> used((file.size() + ss - 1) / ss, false);
  for (std::size_t k = 0; k < fatSectors.size(); ++k) {
    for (std::size_t i = 0; i < perSector; ++i) {
      const std::size_t sector = k * perSector + i;
      if (sector < used.size() && get32(sectorAt(fatSectors[k]) + 4 * i) != kFree) used[sector] = true;
    }
  }
  return used;
}

std::string DifferencesFromOlefile(const CompoundFile& cf, const std::map<std::string, DumpedStream>& dump) {
  std::string differences;
  for (const auto& [path, stream] : dump) {
    std::optional<EntryId> id = kRootEntry;
    for (const std::u16string& part : stream.path) {
      if (id) id = cf.FindChild(*id, part);
    }
    if (!id) {
      differences += path + ": not found\n";
      continue;
    }
    std::optional<std::vector<std::uint8_t>> bytes = cf.ReadStream(*id);
    if (!bytes) {
      differences += path + ": unreadable\n";
    } else if (bytes->size() != stream.size || Sha256Hex(*bytes) != stream.sha256) {
      differences += path + ": " + std::to_string(bytes->size()) + " bytes, olefile " + std::to_string(stream.size) + "\n";
    }
  }
  return differences;
}

}  // namespace kestrel::storage::testing
