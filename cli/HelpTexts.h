#pragma once
// What --help prints. The first line of each text is the usage line a usage error repeats.

#include <string_view>

namespace kestrel::cli {

inline constexpr std::string_view kProgramHelp =
    R"(Usage: kestrelpad-cli COMMAND [OPTIONS] FILE...

Shows and changes the document properties, file times and file attributes of Office documents
(Word, Excel and PowerPoint) and OpenDocument files, as the kestrelpad program does. The name's
extension, in any case, decides how a file is read: .docx, .docm, .dotx, .dotm, .xlsx, .xlsm,
.xltx, .xltm, .xlsb, .pptx, .pptm, .potx, .potm, .ppsx and .ppsm as a package; .odt, .ott, .ods,
.ots, .odp, .otp, .odg and .otg as an OpenDocument package (its meta.xml; category, manager and
company are its user-defined properties OOXMLCorePropertyCategory, Manager and Company, as
LibreOffice keeps them); any other file as a compound file (.doc, .dot, .xls, .xlt, .ppt, .pot,
.pps). A file named twice (the same full path) is taken once.

Commands:
  show FILE...              a header line and one CSV line per document on standard output
                            (--all: every stored property; --json: one JSON object each)
  export -o OUT.csv FILE... the CSV file the program's export writes (Shift-JIS, CR LF;
                            --utf8: UTF-8 with a byte-order mark)
  set [OPTIONS] FILE...     change the documents, as the batch tab does
  clean [OPTIONS] FILE...   remove personal information from the documents
  apply [OPTIONS] SHEET.csv write an edited export sheet back to its documents

Run "kestrelpad-cli COMMAND --help" for what a command does and its options. Options may stand
before, between or after the files; after a word "--" every word is a file.
"kestrelpad-cli --version" prints the version.

Dates and times are local time (TZ applies) and written the program's way:
yyyy/MM/dd H:mm:ss, the time left out at exactly midnight, for example 2010/03/15 9:05:00.

Exit status: 0 when every file did what was asked, 1 when any file did not or the output could
not be written, 2 when the command line was not understood (nothing is done then).

Several documents are read or changed at once, as many as suit the machine; what is printed
comes in the order the files were given all the same. KESTRELPAD_CLI_WORKERS=N (1 to 64) sets
how many; 1 does one document after another.
)";

inline constexpr std::string_view kShowHelp =
    R"(Usage: kestrelpad-cli show [--all] [--json] FILE...

Writes the lines of the program's CSV export to standard output, in UTF-8 with LF line ends: the
header line, then one line per document in the order given. Each line has 23 quoted columns: full
path, file name, the 14 properties, creation, modify and last-access time (the last left empty up
to 1904/05/20), and "Y" for each of the read-only, archive, hidden and system attributes that is
set. Values stand between the quotes as they are, but for a quote inside, which is written twice;
a line break inside a comment stays.

With -a or --all, every property each document stores, one per line instead: a header line, then
per document its 14 properties, its custom (user-defined) properties and every other property it
stores (template, application, statistics, ...), each line five quoted columns: full path, group
(概要, ユーザー設定 or その他), name, type (for custom and other properties) and value.

With --json, one JSON object per document and line instead, no header: "path", "name",
"properties" (title, subject, author, keywords, comments, category, revision, lastSavedBy,
manager, company, created, lastSaved, editingMinutes, lastPrinted), "fileTimes" (created,
modified, accessed) and "attributes" (readOnly, archive, hidden, system as true or false); dates
as ISO 8601 local time with the UTC offset (2021-04-01T09:15:30+09:00), revision and editing
minutes as numbers, null for what is empty; with --all also "custom" (name, type, value typed)
and "other" (key, label, type, value); "error" says why a document was not read in full.

Reading leaves every document as it was: its content, its three times and its attributes.

On standard error, naming the file:
  a missing file, a folder or anything not a regular file: its line holds only path and name;
  a package (.docx, .xlsx, .pptx, ...) that cannot be read as one: it has no line;
  a document held open by another program, or a file read as a compound file (.doc, .xls,
  .ppt, ...) that is none: its property fields are empty.

Exit status: 0 when every document was read, 1 when any was not, 2 on a usage error.
)";

inline constexpr std::string_view kExportHelp =
    R"(Usage: kestrelpad-cli export [--utf8] -o OUT.csv FILE...

Writes OUT.csv exactly as the program's CSV export does for these documents: the header line and
one line per document, as "show" prints them, in Shift-JIS (code page 932) with CR LF after every
line; a character Shift-JIS cannot hold becomes its look-alike as Windows writes it, or "?".
With --utf8 it is written in UTF-8 with a byte-order mark instead, every character as it is.
OUT.csv is replaced only once the whole file is written; when it cannot be written it stays as it
was.

Options:
  -o, --output OUT.csv   the file to write (required)
  --utf8                 UTF-8 with a byte-order mark instead of Shift-JIS
  -h, --help             this text

Problems with the documents are told on standard error as by "show"; the file is written all the
same. Once it is, standard error says how many documents it holds, how many were left out (and why
the first was) and, in Shift-JIS, how many characters became "?".

Exit status: 0 when OUT.csv was written and every document was read, 1 when OUT.csv could not be
written or any document was not read, 2 on a usage error.
)";

inline constexpr std::string_view kSetHelp =
    R"(Usage: kestrelpad-cli set [OPTIONS] FILE...

Changes the documents, as the program's batch tab does: only what an option asks for is
changed. One line per file on standard output, in the order given:
  changed: FILE        the document was changed as asked
  already so: FILE     it already held every value asked for; nothing was written
  change error: FILE   it could not be changed (why is on standard error); the run goes on
  backup error: FILE   its backup failed; it was not changed and the run ends here
  not changed: FILE    the run ended before this file; it was not touched

Properties (each writes its own property only):
  --title TEXT               タイトル
  --subject TEXT             表題
  --author TEXT              作成者
  --keywords TEXT            キーワード
  --comments TEXT            コメント
  --category TEXT            カテゴリー
  --revision NUMBER          改訂番号, 0 to 32767
  --last-author TEXT         前回保存者
  --manager TEXT             管理者
  --company TEXT             会社名
  --created DATETIME         作成日時
  --saved DATETIME           前回保存日時
  --editing-minutes NUMBER   編集時間 in minutes, 0 to 32767
  --printed DATETIME         前回印刷日時; --printed '' erases it (never printed)

File times (each part given replaces that part of the file's time; the other parts, and the
times not named, stay as the file has them):
  --file-created-date DATE    --file-created-time TIME
  --file-modified-date DATE   --file-modified-time TIME
  --file-accessed-date DATE   --file-accessed-time TIME

Attributes (on sets it, off clears it; left out keeps the file's own):
  --readonly on|off   --archive on|off   --hidden on|off   --system on|off

Custom (user-defined) properties, each option given once per NAME and as often as needed:
  --custom NAME=TEXT             sets NAME to a text
  --custom-number NAME=NUMBER    sets NAME to a number (12, -3.5)
  --custom-date NAME=DATETIME    sets NAME to a date
  --custom-yes-no NAME=yes|no    sets NAME to yes or no
  --remove-custom NAME           removes NAME
  --remove-all-custom            removes every custom property first
A custom property's NAME matches ignoring case; setting one replaces its type and value.

Other options:
  --backup     first keep each document as FILE.bak beside it, with its times and attributes
  -h, --help   this text

DATETIME is yyyy/MM/dd H:mm:ss, yyyy/MM/dd H:mm or a date alone; DATE is yyyy/MM/dd; TIME is
H:mm:ss or H:mm; all in local time. TEXT is UTF-8. Every option takes its value either as
"--option VALUE" or as "--option=VALUE". At least one property, custom property, file-time or
attribute option is needed.

Exit status: 0 when every file was changed or already so, 1 when any was not, 2 on a usage error (nothing is
changed then).
)";

inline constexpr std::string_view kCleanHelp =
    R"(Usage: kestrelpad-cli clean [--keep ITEM]... [--backup] FILE...

Removes personal information from the documents, as the program's 個人情報を削除 does: each of
these items is emptied or removed unless --keep names it:
  author           作成者
  last-author      前回保存者
  manager          管理者
  company          会社名
  comments         コメント
  printed          前回印刷日時
  custom           every custom (user-defined) property
  template         the template path
  hyperlink-base   the hyperlink base
Nothing else of a document changes: its other properties, its content, its file times and its
attributes stay as they are. Standard output has one line per file, as "set" prints them.

Options:
  --keep ITEM   leaves ITEM as it is; may be given for several items
  --backup      first keep each document as FILE.bak beside it, with its times and attributes
  -h, --help    this text

Exit status: 0 when every file was cleaned or already clean, 1 when any was not, 2 on a usage
error (nothing is changed then).
)";

inline constexpr std::string_view kApplyHelp =
    R"text(Usage: kestrelpad-cli apply [--dry-run] [--backup] SHEET.csv

Writes an edited CSV export back to its documents: each line changes the document named in its
"File full name" column, and only in the cells that differ from what the export shows of the
document now (times to the second). A cell equal to the document's value, and a column the sheet
left out, keep what the document holds; "File Name" is not read.

SHEET.csv is read as UTF-8 when it starts with a byte-order mark or is valid UTF-8, else as
Shift-JIS (code page 932), as a spreadsheet saves it: quoted or unquoted fields, CR LF or LF line
ends. Its first line names the columns with the export's header names, in any order; "File full
name" is needed, an unknown column refuses the whole sheet.

A changed cell must be what "set" takes: 改訂番号 and 編集時間 a whole number from 0 to 32767,
the dates yyyy/MM/dd H:mm:ss (前回印刷日時 may be emptied to erase it), the file times a date and
time from 1601 on, an attribute "Y" or empty. A line with another number of fields than the header,
a value that does not parse, a missing or unreadable document, or a document an earlier line names
is not applied: "kestrelpad-cli: SHEET.csv:LINE: reason" on standard error; the other lines go on.
Standard output has one line per document, as "set" prints them.

Options:
  --dry-run   changes nothing: prints each document, then "  CAPTION: OLD -> NEW" for each
              differing cell, or "  (no change)"
  --backup    first keep each document as FILE.bak beside it, with its times and attributes
  -h, --help  this text

Exit status: 0 when every line was applied or already so, 1 when any was not, 2 on a usage error
(nothing is changed then).
)text";

// The first line of a help text.
constexpr std::string_view UsageLine(std::string_view help) { return help.substr(0, help.find('\n')); }

}  // namespace kestrel::cli
