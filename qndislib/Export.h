#pragma once

// Marks the classes, functions and data that applications may use. The
// library is built with hidden visibility, so everything else stays private.
// On Windows the DLL exports them and applications import them; programs
// that link the library's objects themselves (QNDIS_LINKS_OBJECTS) do
// neither.
#if !defined(_WIN32)
#define QNDIS_API __attribute__((visibility("default")))
#elif defined(QNDISLIB_BUILDING)
#define QNDIS_API __declspec(dllexport)
#elif defined(QNDIS_LINKS_OBJECTS)
#define QNDIS_API
#else
#define QNDIS_API __declspec(dllimport)
#endif
