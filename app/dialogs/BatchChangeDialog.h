#pragma once
// The progress dialog of the batch change ("変更中..."): the run over every listed document, one
// after the other, with the backup first when asked, until the list ends, the user cancels or a
// backup fails.

#include <vector>

#include "app/OutcomeText.h"
#include "app/dialogs/ProgressDialog.h"
#include "change/ApplyChange.h"
#include "ooxml/PackageProperties.h"

namespace kestrel::app {

class FileListModel;

class BatchChangeDialog final : public ProgressDialog {
 public:
  // What a run works on: the listed documents (whose icons it sets), the main window's package
  // access, the batch tab's values and its backup option. With `rows`, only those listed
  // documents, each with its own request in `requests`.
  struct Batch {
    FileListModel& files;
    ooxml::PackageProperties& packages;
    change::ChangeRequest request;
    bool backup = false;
    std::vector<int> rows;
    std::vector<change::ChangeRequest> requests;
  };

  explicit BatchChangeDialog(QWidget* parent);

  // Resets the dialog for a run over `batch`, which starts 100 ms after the dialog is shown.
  // `batch` must stay alive until the dialog has closed.
  void Prepare(const Batch& batch);
  // What the last run did.
  const BatchTally& Tally() const { return tally_; }

 private:
  void Run() override;
  // Backup and change of one listed document; false when its backup failed.
  bool ChangeDocument(int index, const change::ChangeRequest& request);

  const Batch* batch_ = nullptr;
  BatchTally tally_;
};

}  // namespace kestrel::app
