#pragma once

// The library's diagnostic sink. Messages are formatted only when an
// observer is installed; otherwise the call costs nothing but the argument
// passing, which is why the library can trace freely on failure paths.

#include "qndislib/Export.h"

QNDIS_API void TraceMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

namespace qndis::detail {

// Receives each message after formatting; the text is valid only during the
// call. An observer may be called from any thread that traces. Null removes
// it. Used by tests to check the texts the library traces.
using TraceObserver = void (*)(const char* formattedText);
QNDIS_API void SetTraceObserver(TraceObserver observer);

} // namespace qndis::detail
