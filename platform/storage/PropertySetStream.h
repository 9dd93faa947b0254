#pragma once
// The property-set stream codec: header, sections, typed values, the code page property and the
// dictionary. A stream is parsed once, changed in memory and serialized once; every property and
// section that is not changed keeps its bytes exactly.
//
// Sections are read one by one: a section whose table does not fit is damaged, and the others
// stay readable. A damaged section is carried over unchanged when its bytes are self-contained
// (everything its table points at lies inside it), so moving it keeps its meaning; otherwise, and
// when the header lists fewer sections than the stream holds, every change is refused. Nothing
// here throws except std::bad_alloc.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/Outcome.h"
#include "platform/storage/Guid.h"
#include "platform/storage/PropertySetBytes.h"

namespace kestrel::storage {

// Variant types that the program names.
inline constexpr std::uint16_t kVtEmpty = 0;
inline constexpr std::uint16_t kVtNull = 1;
inline constexpr std::uint16_t kVtI2 = 2;
inline constexpr std::uint16_t kVtI4 = 3;
inline constexpr std::uint16_t kVtR4 = 4;
inline constexpr std::uint16_t kVtR8 = 5;
inline constexpr std::uint16_t kVtCy = 6;
inline constexpr std::uint16_t kVtDate = 7;
inline constexpr std::uint16_t kVtBstr = 8;
inline constexpr std::uint16_t kVtError = 10;
inline constexpr std::uint16_t kVtBool = 11;
inline constexpr std::uint16_t kVtVariant = 12;
inline constexpr std::uint16_t kVtDecimal = 14;
inline constexpr std::uint16_t kVtI1 = 16;
inline constexpr std::uint16_t kVtUi1 = 17;
inline constexpr std::uint16_t kVtUi2 = 18;
inline constexpr std::uint16_t kVtUi4 = 19;
inline constexpr std::uint16_t kVtI8 = 20;
inline constexpr std::uint16_t kVtUi8 = 21;
inline constexpr std::uint16_t kVtInt = 22;
inline constexpr std::uint16_t kVtUint = 23;
inline constexpr std::uint16_t kVtVoid = 24;
inline constexpr std::uint16_t kVtLpstr = 30;
inline constexpr std::uint16_t kVtLpwstr = 31;
inline constexpr std::uint16_t kVtFiletime = 64;
inline constexpr std::uint16_t kVtBlob = 65;
inline constexpr std::uint16_t kVtStream = 66;
inline constexpr std::uint16_t kVtStorage = 67;
inline constexpr std::uint16_t kVtStreamedObject = 68;
inline constexpr std::uint16_t kVtStoredObject = 69;
inline constexpr std::uint16_t kVtBlobObject = 70;
inline constexpr std::uint16_t kVtCf = 71;
inline constexpr std::uint16_t kVtClsid = 72;
inline constexpr std::uint16_t kVtVersionedStream = 73;
inline constexpr std::uint16_t kVtVector = 0x1000;
inline constexpr std::uint16_t kVtArray = 0x2000;

inline constexpr std::uint32_t kPidDictionary = 0;
inline constexpr std::uint32_t kPidCodePage = 1;

// One typed value. Only the member that belongs to `type` is meaningful.
struct PropertyValue {
  std::uint16_t type = kVtEmpty;  // VARTYPE, vector and array flags included
  // VT_I1/I2/I4/INT (sign-extended), VT_UI1/UI2/UI4/UINT, VT_I8/UI8 (the 64 bits), VT_BOOL and
  // VT_ERROR (as stored, sign-extended), VT_FILETIME (the 64 bits).
  std::int64_t integer = 0;
  double real = 0;    // VT_R4, VT_R8
  std::string text;   // VT_LPSTR, VT_BSTR, VT_LPWSTR: UTF-8, cut at the first NUL
  std::optional<Guid> guid;  // VT_CLSID
  std::vector<std::uint8_t> bytes;  // VT_BLOB, VT_CF: the counted bytes
  std::vector<PropertyValue> elements;  // vectors, as Properties reads them
};

// One property to set: its id and its new value.
struct PropertyAssignment {
  std::uint32_t pid = 0;
  PropertyValue value;  // VT_LPSTR, VT_LPWSTR, VT_INT, VT_I4, VT_R8, VT_BOOL, VT_FILETIME or VT_NULL
};

// One property of a section as it is stored: its value is nullopt when it does not fit.
struct StoredProperty {
  std::uint32_t pid = 0;
  std::uint16_t type = kVtEmpty;
  std::optional<PropertyValue> value;
};

// One name of a section's dictionary.
struct DictionaryEntry {
  std::uint32_t pid = 0;
  std::string name;  // UTF-8

  friend bool operator==(const DictionaryEntry&, const DictionaryEntry&) = default;
};

// "VT_LPSTR", "VT_VECTOR|VT_VARIANT"; a type without a name as "VT_0x0099".
std::string VarTypeName(std::uint16_t type);

class PropertySetStream {
 public:
  // Fails (Damaged, with the reason) only when the header or the section list does not fit; a
  // section that does not hold together is kept as damaged and reads as absent.
  static Result<PropertySetStream> Parse(std::span<const std::uint8_t> bytes);

  // A new stream with one section holding only the code page property. The header's class id
  // is the FMTID, as a set created with default flags has it.
  static PropertySetStream Create(const Guid& fmtid, unsigned codePage);

  // A section with this FMTID is listed (readable or damaged).
  bool HasSection(const Guid& fmtid) const;
  // The first section with this FMTID is listed and its property table can be read.
  bool IsReadable(const Guid& fmtid) const;
  // The section's code page (property 1 read as unsigned 16 bits); 932 when it has none; nullopt
  // when the section is absent or damaged or its code page property is not a VT_I2.
  std::optional<unsigned> CodePage(const Guid& fmtid) const;

  // One property of the section with this FMTID: nullopt when the section is absent or damaged,
  // the property is absent, or its value does not fit in the section. Text is decoded with the
  // section's code page (932 when the code page property is unreadable). The dictionary (pid 0)
  // is not a typed value: nullopt.
  std::optional<PropertyValue> Read(const Guid& fmtid, std::uint32_t pid) const;

  // Every property of the section but the dictionary, in stored order, a vector's elements read
  // into `elements`; nullopt when the section is absent or damaged.
  std::optional<std::vector<StoredProperty>> Properties(const Guid& fmtid) const;

  // The section's dictionary (pid 0) in stored order, names decoded with its code page: empty
  // when it has none; nullopt when the section is absent or damaged or the dictionary does not
  // read.
  std::optional<std::vector<DictionaryEntry>> Dictionary(const Guid& fmtid) const;

  // Whether the property already reads as `value` exactly (same type, same integer, same text
  // with no undecodable byte), so that writing it would change nothing a reader sees.
  bool Holds(const Guid& fmtid, std::uint32_t pid, const PropertyValue& value) const;

  // Sets properties of the section (VT_LPSTR, VT_LPWSTR, VT_INT, VT_I4, VT_R8, VT_BOOL (stored
  // as 0xFFFF or 0), VT_FILETIME or VT_NULL), in
  // order, and rebuilds that section once; every other section keeps its bytes. Property offsets
  // may come in any order and may be shared: each value keeps its bytes. A VT_LPSTR text the
  // section's code page cannot hold switches the section to UTF-16 (code page 1200) and converts
  // all its strings; sections in 65001 or 1200 hold any text already. Text is cut at its first
  // NUL, as it reads. The code page and the dictionary are not written this way. On failure (the
  // reason names the section and the place) nothing has changed.
  Outcome Write(const Guid& fmtid, std::span<const PropertyAssignment> assignments);
  Outcome Write(const Guid& fmtid, std::uint32_t pid, const PropertyValue& value) {
    const PropertyAssignment one{pid, value};
    return Write(fmtid, std::span(&one, 1));
  }

  // Removes properties of the section and their dictionary names; no change when none of them is
  // there (nor the section). The code page and the dictionary are not removed this way.
  Outcome Remove(const Guid& fmtid, std::span<const std::uint32_t> pids);

  // Adds or renames dictionary entries of the section, creating its dictionary when it has none;
  // no change when every entry is already so. A name its code page cannot hold switches the
  // section to UTF-16, as a text does. Names are not empty and hold no NUL.
  Outcome Name(const Guid& fmtid, std::span<const DictionaryEntry> names);

  // Takes the section out of the stream; no change when it is not there.
  Outcome RemoveSection(const Guid& fmtid);

  // Adds a section holding only the code page property (for a stream that lacks it); the
  // document summary section goes before any other. Success with no change when the stream
  // lists the FMTID already; refused (nothing changed) when the stream cannot be rewritten.
  Outcome AddSection(const Guid& fmtid, unsigned codePage);

  // The stream's bytes. A stream that was parsed keeps at least its old length (zero padding),
  // as Word pads its streams to 4096 bytes; an unchanged stream is returned exactly as parsed.
  std::vector<std::uint8_t> Serialize() const;

 private:
  struct Section {
    Guid fmtid;
    // The section as stored (its size field's extent), or as rebuilt by the last Write; empty
    // when its extent does not lie inside the stream.
    std::vector<std::uint8_t> bytes;
    // The property table in stored order, offsets into `bytes` (checked to lie inside it).
    struct Entry {
      std::uint32_t pid = 0;
      std::uint32_t offset = 0;
    };
    std::vector<Entry> table;
    // Why the table cannot be read ("section 2 runs past the end of the stream"); empty when it
    // can. A damaged section is never written into and reads as absent.
    std::string damage;
  };

  Section* FindSection(const Guid& fmtid);
  const Section* FindSection(const Guid& fmtid) const;
  // CodePage for a readable section already found.
  static std::optional<unsigned> CodePageOf(const Section& section);
  // The stream can be laid out anew: Success, or why not (a damaged section that cannot move,
  // sections the header does not list).
  Outcome Rewritable() const;

  // A section being edited: its properties split into their stored bytes.
  struct Editing {
    Section* section = nullptr;
    std::string where;  // "section 2", for messages
    std::vector<propset::RawProperty> properties;
  };
  // The readable section to edit, or why it may not be; a missing one is Unsupported.
  Result<Section*> EditableSection(const Guid& fmtid);
  // Its properties split, every value checked to fit its own bytes.
  static Result<Editing> Split(Section* section, std::string where);
  // Lays the edited section out again; on failure nothing has changed.
  Outcome Store(Editing& editing);
  std::string Where(const Section* section) const;

  std::array<std::uint8_t, 28> header_{};  // byte order to class id, then the section count
  std::vector<Section> sections_;
  // Why no change may be serialized at all; empty when the stream can be rewritten.
  std::string refusal_;
  // The bytes Parse was given, serialized as they are until something changes.
  std::optional<std::vector<std::uint8_t>> unchanged_;
  std::size_t minimumSize_ = 0;
};

}  // namespace kestrel::storage
