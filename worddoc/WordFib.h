#pragma once
// What the FIB at the start of a binary Word document's "WordDocument" stream tells us: whether
// we may write into the document at all, and where its document properties block (DOP) keeps
// the 18-byte statistics run (DOP offset 20).
//
// Two FIB layouts are trusted, each only once its own checks hold:
// - Word 97 and later (signature 0xA5EC, nFib 0x00C1 and up): the DOP lies in the table stream
//   the flags name ("0Table" or "1Table"), at fcDop (FIB offset 402) for lcbDop bytes (406).
// - Word 6.0 and Word 95 (signature 0xA5DC, nFib 101 to 105): there is no table stream; the DOP
//   lies in "WordDocument" itself, at fcDop (FIB offset 0x150) for lcbDop bytes (0x154).
// Any other FIB is refused rather than guessed at: a wrong guess would write into the text.
//
// Both read only. Nothing here throws.

#include <cstdint>

#include "platform/Outcome.h"
#include "platform/storage/CompoundFile.h"

namespace kestrel::worddoc {

enum class FibLayout {
  Word97,  // Word 97 and every later binary Word
  Word6,   // Word 6.0 and Word 95
};

// Where the statistics run of a document lies.
struct DopStatisticsPlace {
  FibLayout layout = FibLayout::Word97;
  storage::EntryId stream = 0;  // the stream holding the DOP
  std::uint64_t offset = 0;     // of the 18 bytes in that stream (fcDop + 20)
};

// Success when the document is a Word document of a layout we know and is neither encrypted
// nor obfuscated. Otherwise NotADocument (no "WordDocument" stream), Damaged (the FIB cannot be
// read), Unsupported (a signature or FIB version we do not know) or Encrypted. Call it before
// anything of a change is planned, so nothing is ever written into an encrypted document: its
// streams, and the FIB past its first fields, are not what they seem.
Outcome CheckWordDocumentWritable(const storage::CompoundFile& file);

// Whether the compound file is a Word document at all, writable or not: it has the
// "WordDocument" stream, and with it a FIB and a statistics block.
inline bool HasWordDocumentStream(const storage::CompoundFile& file) {
  return CheckWordDocumentWritable(file).kind() != FailureKind::NotADocument;
}

// The statistics run's place, after the checks of CheckWordDocumentWritable. For Word 97 and later,
// Unsupported when the FIB's counts differ from the fixed layout, Damaged when the table stream is
// missing, the DOP is shorter than the run needs or the run lies outside the table stream. For
// Word 6.0 and 95, Unsupported with the reason when the layout cannot be confirmed: the text
// bounds (fcMin, fcMac, cbMac) must follow the FIB in order and lie inside the stream, and the
// DOP must be long enough and lie after the text, inside cbMac.
Result<DopStatisticsPlace> LocateDopStatistics(const storage::CompoundFile& file);

}  // namespace kestrel::worddoc
