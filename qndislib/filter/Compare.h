#pragma once

#include "qndislib/filter/Operation.h"

namespace qndis::detail {

template <typename T> constexpr bool Compare(T frameValue, T filterValue, eOperation operation) {
    switch (operation) {
    case OperationEqual:
        return frameValue == filterValue;
    case OperationLess:
        return frameValue < filterValue;
    case OperationGreater:
        return frameValue > filterValue;
    }
    return false;
}

} // namespace qndis::detail
