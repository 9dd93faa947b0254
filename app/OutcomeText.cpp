#include "app/OutcomeText.h"

namespace kestrel::app {
namespace {

QString KindText(FailureKind kind) {
  switch (kind) {
    case FailureKind::None:
      break;
    case FailureKind::NotFound:
      return QStringLiteral("ファイルが見つかりません");
    case FailureKind::HeldOpen:
      return QStringLiteral("他のアプリケーションが開いています");
    case FailureKind::ReadOnly:
      return QStringLiteral("書き込みできません");
    case FailureKind::NotADocument:
      return QStringLiteral("Office 文書ではありません");
    case FailureKind::Encrypted:
      return QStringLiteral("暗号化されています");
    case FailureKind::Damaged:
      return QStringLiteral("文書の構造が壊れています");
    case FailureKind::Unsupported:
      return QStringLiteral("この文書の形式には対応していません");
    case FailureKind::InvalidValue:
      return QStringLiteral("保存できない値があります");
    case FailureKind::Io:
      return QStringLiteral("読み書きに失敗しました");
  }
  return {};
}

// "…: kind (detail)"; the detail is the service's own words.
QString Why(const QString& what, const Outcome& outcome) {
  QString text = what + QStringLiteral(": ") + KindText(outcome.kind());
  if (!outcome.message().empty()) text += QStringLiteral(" (") + QString::fromStdString(outcome.message()) + u')';
  return text;
}

}  // namespace

QString ReadOutcomeText(const Outcome& outcome) {
  return outcome ? QStringLiteral("読み込みました") : Why(QStringLiteral("読み込めませんでした"), outcome);
}

QString ChangeOutcomeText(const Outcome& outcome) {
  if (outcome.alreadySo()) return QStringLiteral("変更なし (すでにその値です)");
  return outcome ? QStringLiteral("変更しました") : Why(QStringLiteral("変更できませんでした"), outcome);
}

QString BackupFailureText(const Outcome& outcome) {
  return Why(QStringLiteral("バックアップできないため変更していません"), outcome);
}

QString BatchTallyText(const BatchTally& tally) {
  QString text = QStringLiteral("一括変更: 変更 %1 件、").arg(tally.changed);
  if (tally.alreadySo > 0) text += QStringLiteral("(うち変更なし %1 件)、").arg(tally.alreadySo);
  text += QStringLiteral("失敗 %1 件、未処理 %2 件").arg(tally.failed).arg(tally.notReached);
  if (!tally.stoppedAt.isEmpty()) {
    text += QStringLiteral("。%1 で中止しました。").arg(tally.stoppedAt) + BackupFailureText(tally.backupFailure);
  }
  return text;
}

QString ExportTallyText(const ExportTally& tally) {
  if (tally.cancelled) return QStringLiteral("CSV出力: キャンセルしました");
  if (!tally.saved) return Why(QStringLiteral("CSV出力: ファイルを保存できませんでした"), tally.saved);
  QString text = QStringLiteral("CSV出力: %1 件を出力しました。%2 文字を「?」に置き換えました")
                     .arg(tally.written)
                     .arg(tally.replaced);
  if (tally.leftOut > 0) {
    text += QStringLiteral("。%1 件は出力していません。").arg(tally.leftOut) +
            ReadOutcomeText(tally.firstLeftOut);
  }
  return text;
}

}  // namespace kestrel::app
