#pragma once
// Windows refuses a change while another program has the document open; on Linux nothing does,
// and that program would later save over our change. A change treats the document as held open,
// and fails as a sharing violation would, when one of these says so.
// Nothing here throws except std::bad_alloc.

#include <string>
#include <string_view>

namespace kestrel::fs {

// How the Office program that would open the file names its owner file: Word shortens long names
// (OfficeOwnerFileName), Excel and PowerPoint put "~$" before the whole name.
enum class OwnerFileNaming { Shortened, WholeName };

// True when another process holds a write lock on the file (OFD or POSIX), or a LibreOffice lock
// file or a Microsoft Office owner file lies beside it. Ask before opening the file for writing
// yourself: an OFD lock does not tell which process holds it, so our own would count too.
bool HeldOpenByAnotherProgram(const std::string& path, OwnerFileNaming naming = OwnerFileNaming::Shortened);
// The second half of that: a LibreOffice lock file or an Office owner file lies beside the file.
// For a caller that learns of locks through its own open (a read lock it was given).
bool LockFileBeside(const std::string& path, OwnerFileNaming naming);

// ".~lock.<name>#".
std::string LibreOfficeLockFileName(std::string_view fileName);
// "~$" and the name, less its first two characters when eight or more precede the extension,
// less the first one when seven do (characters, not bytes; the extension starts at the last dot,
// and a name without a dot counts whole).
std::string OfficeOwnerFileName(std::string_view fileName);

}  // namespace kestrel::fs
