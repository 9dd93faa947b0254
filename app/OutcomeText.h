#pragma once
// What the window says about the last read or change of a document, in the file list's tooltip
// and the status bar: a Japanese sentence by the kind of failure, with the service's own detail.

#include <QString>

#include "platform/Outcome.h"

namespace kestrel::app {

QString ReadOutcomeText(const Outcome& outcome);
QString ChangeOutcomeText(const Outcome& outcome);
// A backup that failed, so that the document was left unchanged.
QString BackupFailureText(const Outcome& outcome);

// What a batch change did, for the status bar once it has ended.
struct BatchTally {
  int changed = 0;
  int alreadySo = 0;  // of the changed ones: they held every value already, and nothing was written
  int failed = 0;
  int notReached = 0;
  QString stoppedAt;  // the document whose failed backup ended the run, if one did
  Outcome backupFailure = Outcome::Success();
};
QString BatchTallyText(const BatchTally& tally);

// What a CSV export wrote, for the status bar once it has ended.
struct ExportTally {
  int written = 0;
  int leftOut = 0;
  Outcome firstLeftOut = Outcome::Success();  // why the first document left out was
  int replaced = 0;  // characters written as "?": code page 932 has nothing like them
  Outcome saved = Outcome::Success();  // why the file could not be saved
  bool cancelled = false;  // nothing was written
};
QString ExportTallyText(const ExportTally& tally);

}  // namespace kestrel::app
