#pragma once

#include "qndislib/ktools/MemoryBuffer.h"

namespace qndis::detail {

// Runs a series of stream reads and turns the buffer's error into false,
// deleting the error object as its catcher must.
template <typename Reads> bool Guarded(Reads reads) {
    try {
        return reads();
    } catch (ktools::CMemoryBuffer::CException* error) {
        delete error;
        return false;
    }
}

} // namespace qndis::detail
