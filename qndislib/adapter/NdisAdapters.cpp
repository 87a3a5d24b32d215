#include "qndislib/adapter/NdisAdapters.h"

#include "qndislib/capture/DriverLibrary.h"
#include "qndislib/platform/Trace.h"
#include "qndislib/w32n55abi/W32N55.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

namespace {

using qndis::DriverLibrary;
using w32n55abi::Handle;
using w32n55abi::kNoHandle;

using NameBuffer = std::array<char, w32n55abi::kAdapterNameRoom>;

// Closes the enumeration also when making an adapter throws.
class Enumeration {
public:
    Enumeration() : m_handle(DriverLibrary::Get<w32n55abi::kOpenEnumeration>()()) {}
    ~Enumeration() {
        if (m_handle != kNoHandle) {
            DriverLibrary::Get<w32n55abi::kCloseEnumeration>()(m_handle);
        }
    }
    Enumeration(const Enumeration&) = delete;
    Enumeration& operator=(const Enumeration&) = delete;

    bool IsOpen() const { return m_handle != kNoHandle; }
    Handle First() const { return DriverLibrary::Get<w32n55abi::kFirstAdapter>()(m_handle); }
    Handle Next() const { return DriverLibrary::Get<w32n55abi::kNextAdapter>()(m_handle); }

private:
    Handle m_handle;
};

// The length handed in is the room; what the library reports back is not
// trusted, the last byte of the buffer is a terminator whatever it wrote.
template <w32n55abi::Ordinal O> bool ReadName(Handle entry, NameBuffer& buffer) {
    std::uint32_t length = w32n55abi::kAdapterNameLengthOnEntry;
    const bool ok = DriverLibrary::Get<O>()(entry, buffer.data(), &length) == 0;
    buffer.back() = '\0';
    return ok;
}

} // namespace

CNdisAdapters::CNdisAdapters(const CNdisAdapters& other) : std::vector<CNdisAdapter*>() {
    AppendCopies(other);
}

CNdisAdapters& CNdisAdapters::operator=(const CNdisAdapters& other) {
    if (this != &other) {
        DeleteAdapters();
        AppendCopies(other);
    }
    return *this;
}

CNdisAdapters::~CNdisAdapters() {
    DeleteAdapters();
}

void CNdisAdapters::AppendCopies(const CNdisAdapters& other) {
    reserve(size() + other.size());
    for (const CNdisAdapter* adapter : other) {
        auto copy = std::make_unique<CNdisAdapter>();
        *copy = *adapter;
        push_back(copy.release());
    }
}

void CNdisAdapters::DeleteAdapters() {
    for (CNdisAdapter* adapter : *this) {
        delete adapter;
    }
    clear();
}

int CNdisAdapters::ReadAdapters() {
    {
        Enumeration enumeration;
        if (!enumeration.IsOpen()) {
            TraceMessage("Cannot open adapter enumeration");
        } else {
            for (Handle entry = enumeration.First(); entry != kNoHandle;
                 entry = enumeration.Next()) {
                NameBuffer friendlyName{};
                NameBuffer ndisName{};
                if (!ReadName<w32n55abi::kFriendlyName>(entry, friendlyName)) {
                    TraceMessage("Error getting adapter friendly name");
                } else if (!ReadName<w32n55abi::kNdisName>(entry, ndisName)) {
                    TraceMessage("Error getting adapter NDIS name");
                } else {
                    reserve(size() + 1);
                    push_back(new CNdisAdapter(ndisName.data(), friendlyName.data()));
                }
                DriverLibrary::Get<w32n55abi::kReleaseAdapter>()(entry);
            }
        }
    }
    const auto count = static_cast<int>(size());
    TraceMessage("ReadAdapters returns %d", count);
    return count;
}

int CNdisAdapters::FindByNdisName(std::string ndisName) {
    const auto found = std::find_if(begin(), end(), [&ndisName](const CNdisAdapter* adapter) {
        return adapter->GetNdisName() == ndisName;
    });
    return found != end() ? static_cast<int>(found - begin()) : -1;
}

int CNdisAdapters::FindByMac(CMACAddr mac) {
    const auto found = std::find_if(begin(), end(), [&mac](const CNdisAdapter* adapter) {
        return std::memcmp(static_cast<const unsigned char*>(adapter->GetAddress()),
                           static_cast<const unsigned char*>(mac), 6) == 0;
    });
    return found != end() ? static_cast<int>(found - begin()) : -1;
}
