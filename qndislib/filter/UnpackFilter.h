#pragma once

#include "qndislib/Export.h"
#include "qndislib/filter/Filter.h"
#include "qndislib/ktools/MemoryBuffer.h"

// Reads one complete filter record and returns a new filter of the kind it
// names, which the caller owns; null for an unknown id (one byte consumed)
// or a record that ends early or is malformed (then the read position lies
// somewhere inside it). Any byte sequence is safe to read: lengths are
// checked against the remaining bytes before anything is allocated and
// compound nesting is bounded (CCompoundFilter::MaxUnpackDepth).
QNDIS_API CFilter* UnpackFilter(ktools::CMemoryBuffer& buffer);
