#include "app/ApplicationTitle.h"

#include <QCoreApplication>
#include <QVariant>

namespace kestrel::app {
namespace {

// Kept on the application object so it lives exactly as long as the program's windows do.
constexpr const char* kProperty = "kestrelApplicationTitle";

}  // namespace

void SetApplicationTitle(const QString& title) { QCoreApplication::instance()->setProperty(kProperty, title); }

QString ApplicationTitle() { return QCoreApplication::instance()->property(kProperty).toString(); }

}  // namespace kestrel::app
