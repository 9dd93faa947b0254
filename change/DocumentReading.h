#pragma once
// The reading of a document lives in reading/. This old name stays only for the window tests that
// still include it and call the reading through change::.

#include "reading/DocumentReading.h"

namespace kestrel::change {

using reading::PropertyTexts;
using reading::ReadDocumentRows;

}  // namespace kestrel::change
