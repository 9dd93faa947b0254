#include "tests/app/ScopedSettingsFolder.h"

#include <QSettings>
#include <QString>

namespace kestrel::app::test {
namespace {

void PointSettingsAt(const std::filesystem::path& folder) {
  const QString path = QString::fromStdString(folder.string());
  // On Linux the native format is the INI format; both are pointed, so neither escapes.
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, path);
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, path);
}

}  // namespace

void UseProcessSettingsFolder() {
  static const kestrel::test::TempDir folder;
  PointSettingsAt(folder.Path());
}

ScopedSettingsFolder::ScopedSettingsFolder() { PointSettingsAt(dir_.Path()); }

ScopedSettingsFolder::~ScopedSettingsFolder() { UseProcessSettingsFolder(); }

std::filesystem::path ScopedSettingsFolder::PresetFile() const { return dir_.Path() / "norvale" / "kestrelPadJP.conf"; }

}  // namespace kestrel::app::test
