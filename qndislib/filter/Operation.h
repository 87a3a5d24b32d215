#pragma once

#include <cstdint>

// How the IP address and port filters compare the frame's value F with
// their own value V, unsigned. Any other stored value is never satisfied.
enum eOperation : std::int32_t {
    OperationEqual = 0,   // F == V
    OperationLess = 1,    // F < V
    OperationGreater = 2, // F > V
};
