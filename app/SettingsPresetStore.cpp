#include "app/SettingsPresetStore.h"

#include <QString>

namespace kestrel::app {
namespace {

QString Text(std::string_view utf8) { return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())); }

}  // namespace

SettingsPresetStore::SettingsPresetStore()
    : settings_(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("norvale"),
                QStringLiteral("kestrelPadJP")) {}

std::string SettingsPresetStore::Read(std::string_view name) const {
  // A missing value reads as an empty string.
  return settings_.value(Text(name)).toString().toStdString();
}

void SettingsPresetStore::Write(std::string_view name, const std::string& value) {
  settings_.setValue(Text(name), Text(value));
}

bool SettingsPresetStore::Save() {
  settings_.sync();
  return settings_.status() == QSettings::NoError;
}

}  // namespace kestrel::app
