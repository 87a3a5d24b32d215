#include "qndislib/addr/MACAddr.h"

#include <algorithm>

// Both constants are constant-initialised: they hold their bytes before any
// dynamic initialiser of the library runs, so the frame-type table, the
// medium registry and the factory built at load can already rely on them.
constinit const CMACAddr CMACAddr::MACBroadcast{"FFFFFFFFFFFF"};
constinit const CMACAddr CMACAddr::MACNull{};

CMACAddr::operator std::int64_t() const {
    const unsigned char* bytes = *this;
    std::uint64_t packed = 0;
    for (int i = 5; i >= 0; --i) {
        packed = (packed << 8) | bytes[i];
    }
    return static_cast<std::int64_t>(packed);
}

bool CMACAddr::IsMulticast() const {
    const unsigned char* bytes = *this;
    return (bytes[0] & 0x01) != 0;
}

bool CMACAddr::IsBroadcast() const {
    return *this == MACBroadcast;
}

bool CMACAddr::IsNull() const {
    return *this == MACNull;
}

std::uint32_t CMACAddr::GetOUI() {
    const unsigned char* bytes = *this;
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) | bytes[2];
}
