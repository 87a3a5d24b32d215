#pragma once

// Marks the classes, functions and data that applications may use. The
// library is built with hidden visibility, so everything else stays private.
#define QNDIS_API __attribute__((visibility("default")))
