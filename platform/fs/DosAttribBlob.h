#pragma once
// Samba's `user.DOSATTRIB` extended attribute: the Windows attribute word and creation time
// Samba keeps for each file, so a Samba share shows the same bits to Windows clients. Pure codec;
// reading and writing the attribute itself belongs to the backends.
// Nothing here throws except std::bad_alloc.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kestrel::fs {

// valid_flags bits: which body fields hold a value.
inline constexpr std::uint32_t kDosInfoAttrib = 0x01;
inline constexpr std::uint32_t kDosInfoEaSize = 0x02;
inline constexpr std::uint32_t kDosInfoSize = 0x04;
inline constexpr std::uint32_t kDosInfoAllocSize = 0x08;
inline constexpr std::uint32_t kDosInfoCreateTime = 0x10;
inline constexpr std::uint32_t kDosInfoChangeTime = 0x20;
inline constexpr std::uint32_t kDosInfoITime = 0x40;

// The oldest form: only the string "0x<hex attribute word>" and its NUL.
inline constexpr std::uint16_t kDosAttribLegacy = 0;
// What a new blob is written as: every Samba since 3.5 and ksmbd read it (ksmbd refuses 5).
inline constexpr std::uint16_t kDosAttribNewVersion = 3;

// Every field any version carries, so a blob re-encodes with the fields it came with.
// Fields the version does not store stay 0 and are not written.
struct DosAttribBlob {
  std::uint16_t version = kDosAttribNewVersion;  // kDosAttribLegacy, 1, 3, 4 or 5
  // Versions 3 to 5 store it; for v1 and the legacy form, which store none, parsing sets the
  // flags of the fields the form holds.
  std::uint32_t validFlags = 0;
  std::uint32_t attributes = 0;
  std::uint32_t eaSize = 0;          // v1, v3
  std::uint64_t size = 0;            // v1, v3
  std::uint64_t allocSize = 0;       // v1, v3
  std::uint64_t createTime = 0;      // FILETIME; v1, v3, v4, v5
  std::uint64_t changeTime = 0;      // FILETIME; v1, v3
  std::uint64_t itime = 0;           // v4

  // The creation time when the blob marks it valid.
  std::optional<std::uint64_t> ValidCreateTime() const;

  bool operator==(const DosAttribBlob&) const = default;
};

// nullopt for anything malformed: missing NUL, an attribute string that is not "0x" and 1 to 8
// hex digits (or empty, for the versioned forms), an unknown version (2 included), a level other
// than the version, a truncated body. Bytes after a complete body are ignored.
std::optional<DosAttribBlob> ParseDosAttribBlob(std::span<const std::uint8_t> bytes);

// Versions 1 to 3 get "0x%x" of the attribute word as their string, 4 and 5 an empty one;
// padding is zero. Empty for a version it does not know.
std::vector<std::uint8_t> EncodeDosAttribBlob(const DosAttribBlob& blob);

// The blob to store after setting the attribute word and, when given, the creation time.
// A parseable existing blob keeps its version and every other field (a createTime of nullopt
// leaves its creation time alone); a missing, unparseable or legacy one becomes a new version 3
// blob, since the legacy form cannot hold a creation time.
std::vector<std::uint8_t> UpdateDosAttribBlob(std::optional<std::span<const std::uint8_t>> existing,
                                              std::uint32_t attributes, std::optional<std::uint64_t> createTime);

}  // namespace kestrel::fs
