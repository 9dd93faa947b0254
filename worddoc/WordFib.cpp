#include "worddoc/WordFib.h"

#include <optional>
#include <string>
#include <vector>

#include "platform/LittleEndian.h"

namespace kestrel::worddoc {

namespace {

using le::Get16;
using le::Get32;
using storage::CompoundFile;

// Both layouts share the first 12 bytes of the FIB.
constexpr std::size_t kIdentOffset = 0;    // wIdent
constexpr std::size_t kVersionOffset = 2;  // nFib
constexpr std::size_t kFlagsOffset = 10;
constexpr std::size_t kSharedBytes = 12;
constexpr std::uint16_t kEncrypted = 0x0100;
constexpr std::uint16_t kObfuscated = 0x8000;

// Word 97 and later: csw shorts, cslw longs and cbRgFcLcb pairs follow the 32-byte base. The
// DOP's fixed offset holds only for the counts every such file carries.
constexpr std::uint16_t kWord97Ident = 0xA5EC;
constexpr std::uint16_t kWord97FirstVersion = 0x00C1;
constexpr std::uint16_t kWhichTableStream = 0x0200;
constexpr std::size_t kShortCountOffset = 32;
constexpr std::size_t kLongCountOffset = 62;
constexpr std::size_t kPairCountOffset = 152;
constexpr std::uint16_t kShortCount = 14;
constexpr std::uint16_t kLongCount = 22;
constexpr std::uint16_t kDopPairIndex = 31;
constexpr std::size_t kWord97DopOffset = 402;  // fcDop, then lcbDop

// Word 6.0 and Word 95.
constexpr std::uint16_t kWord6Ident = 0xA5DC;
constexpr std::uint16_t kWord6FirstVersion = 101;
constexpr std::uint16_t kWord6LastVersion = 105;
constexpr std::size_t kTextBoundsOffset = 0x18;  // fcMin, fcMac, cbMac
constexpr std::size_t kWord6DopOffset = 0x150;   // fcDop, then lcbDop

constexpr std::size_t kFibBytesRead = kWord97DopOffset + 8;  // enough for either layout

// The statistics run inside the DOP.
constexpr std::uint64_t kRunOffset = 20;
constexpr std::uint64_t kDopBytesNeeded = kRunOffset + 18;

struct Fib {
  FibLayout layout = FibLayout::Word97;
  storage::EntryId wordStream = 0;
  std::uint64_t streamSize = 0;
  std::vector<std::uint8_t> bytes;  // up to kFibBytesRead, fewer when the stream is shorter

  bool Holds(std::size_t offset, std::size_t count) const { return offset + count <= bytes.size(); }
  std::uint16_t U16(std::size_t offset) const { return Get16(bytes.data() + offset); }
  std::uint32_t U32(std::size_t offset) const { return Get32(bytes.data() + offset); }
};

std::string Hex16(std::uint16_t value) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text = "0x";
  for (int shift = 12; shift >= 0; shift -= 4) text += digits[(value >> shift) & 0xF];
  return text;
}

Outcome Unconfirmed(const std::string& why) {
  return Outcome::Failure(FailureKind::Unsupported, "Word 6/95 layout not confirmed: " + why);
}

// The FIB's first bytes and its layout, refusing unknown layouts and encrypted documents.
Result<Fib> ReadFib(const CompoundFile& file) {
  const auto word = file.FindChild(storage::kRootEntry, u"WordDocument");
  if (!word || !file.IsStream(*word)) return Outcome::Failure(FailureKind::NotADocument, "no WordDocument stream");
  auto bytes = file.ReadStreamRange(*word, 0, kFibBytesRead);
  if (!bytes) return Outcome::Failure(FailureKind::Damaged, "the WordDocument stream cannot be read");
  Fib fib;
  fib.wordStream = *word;
  fib.streamSize = file.StreamSize(*word);
  fib.bytes = std::move(*bytes);
  if (!fib.Holds(0, kSharedBytes)) {
    return Outcome::Failure(FailureKind::Damaged, "the FIB runs past the end of the WordDocument stream");
  }
  const std::uint16_t ident = fib.U16(kIdentOffset);
  const std::uint16_t version = fib.U16(kVersionOffset);
  if (ident != kWord97Ident && ident != kWord6Ident) {
    return Outcome::Failure(FailureKind::Unsupported, "the FIB signature " + Hex16(ident) + " is not Word's");
  }
  // Checked before the version: the flags of an encrypted document are still plain text.
  if ((fib.U16(kFlagsOffset) & (kEncrypted | kObfuscated)) != 0) {
    return Outcome::Failure(FailureKind::Encrypted, "encrypted document");
  }
  if (ident == kWord97Ident && version >= kWord97FirstVersion) {
    fib.layout = FibLayout::Word97;
  } else if (ident == kWord6Ident && version >= kWord6FirstVersion && version <= kWord6LastVersion) {
    fib.layout = FibLayout::Word6;
  } else {
    return Outcome::Failure(FailureKind::Unsupported,
                            "FIB version " + std::to_string(version) + " with signature " + Hex16(ident) +
                                " is not a Word layout we write");
  }
  return fib;
}

Result<DopStatisticsPlace> LocateInTableStream(const CompoundFile& file, const Fib& fib) {
  if (!fib.Holds(kWord97DopOffset, 8)) {
    return Outcome::Failure(FailureKind::Damaged, "the FIB runs past the end of the WordDocument stream");
  }
  const std::uint16_t shorts = fib.U16(kShortCountOffset);
  const std::uint16_t longs = fib.U16(kLongCountOffset);
  const std::uint16_t pairs = fib.U16(kPairCountOffset);
  if (shorts != kShortCount || longs != kLongCount || pairs <= kDopPairIndex) {
    return Outcome::Failure(FailureKind::Unsupported, "the FIB holds " + std::to_string(shorts) + " shorts, " +
                                                          std::to_string(longs) + " longs and " +
                                                          std::to_string(pairs) + " pairs, not Word 97's layout");
  }
  const char16_t* tableName = (fib.U16(kFlagsOffset) & kWhichTableStream) ? u"1Table" : u"0Table";
  const auto table = file.FindChild(storage::kRootEntry, tableName);
  if (!table || !file.IsStream(*table)) {
    return Outcome::Failure(FailureKind::Damaged,
                            std::string("the table stream ") + (tableName[0] == u'1' ? "1Table" : "0Table") +
                                " the FIB names is missing");
  }
  const std::uint64_t fcDop = fib.U32(kWord97DopOffset);
  const std::uint64_t lcbDop = fib.U32(kWord97DopOffset + 4);
  if (lcbDop < kDopBytesNeeded) {
    return Outcome::Failure(FailureKind::Damaged, "the document properties block is " + std::to_string(lcbDop) +
                                                      " bytes, too short for the statistics block");
  }
  if (fcDop + kDopBytesNeeded > file.StreamSize(*table)) {
    return Outcome::Failure(FailureKind::Damaged, "the statistics block lies outside the table stream");
  }
  return DopStatisticsPlace{FibLayout::Word97, *table, fcDop + kRunOffset};
}

// Word 6/95 keeps FIB, text and tables in one stream, so a DOP place that is off by anything
// would land in the text: every bound is checked against the others before it is believed.
Result<DopStatisticsPlace> LocateInMainStream(const Fib& fib) {
  if (!fib.Holds(kWord6DopOffset, 8)) return Unconfirmed("the FIB runs past the end of the WordDocument stream");
  const std::uint64_t textStart = fib.U32(kTextBoundsOffset);
  const std::uint64_t textEnd = fib.U32(kTextBoundsOffset + 4);
  const std::uint64_t dataEnd = fib.U32(kTextBoundsOffset + 8);
  if (textStart < kWord6DopOffset + 8 || textStart > textEnd || textEnd > dataEnd || dataEnd > fib.streamSize) {
    return Unconfirmed("the text bounds " + std::to_string(textStart) + ", " + std::to_string(textEnd) + ", " +
                       std::to_string(dataEnd) + " do not follow the FIB inside the stream");
  }
  const std::uint64_t fcDop = fib.U32(kWord6DopOffset);
  const std::uint64_t lcbDop = fib.U32(kWord6DopOffset + 4);
  if (lcbDop < kDopBytesNeeded) {
    return Unconfirmed("the document properties block is " + std::to_string(lcbDop) +
                       " bytes, too short for the statistics block");
  }
  if (fcDop < textEnd) return Unconfirmed("the document properties block starts before the end of the text");
  if (fcDop + lcbDop > dataEnd) return Unconfirmed("the document properties block runs past the document's data");
  return DopStatisticsPlace{FibLayout::Word6, fib.wordStream, fcDop + kRunOffset};
}

}  // namespace

Outcome CheckWordDocumentWritable(const CompoundFile& file) {
  const auto fib = ReadFib(file);
  return fib ? Outcome::Success() : fib.outcome();
}

Result<DopStatisticsPlace> LocateDopStatistics(const CompoundFile& file) {
  const auto fib = ReadFib(file);
  if (!fib) return fib.outcome();
  return fib->layout == FibLayout::Word97 ? LocateInTableStream(file, *fib) : LocateInMainStream(*fib);
}

}  // namespace kestrel::worddoc
