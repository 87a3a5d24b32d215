// Mode (b): the driver-access library alone, as qndislib's packages drive
// it. libw32n55.so is loaded from the harness's own directory and reached by
// ordinal; 200 receive records are armed once and each is re-armed from its
// completion routine, which the library's alertable wait runs on this
// thread.
#include "bench/capture_receiver.h"
#include "qndislib/w32n55abi/W32N55.h"

#include <array>
#include <dlfcn.h>
#include <string>

namespace capture_bench {
namespace {

namespace abi = w32n55abi;
namespace rr = w32n55abi::receive_record;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kPackages = 200;
constexpr std::uint32_t kPromiscuousFilter =
    NDIS_PACKET_TYPE_PROMISCUOUS | NDIS_PACKET_TYPE_DIRECTED;
constexpr std::int32_t kWaitMs = 10;

// The entries the mode calls, looked up once per process.
struct DriverEntries {
    abi::CompletionStyleFn completionStyle = nullptr;
    abi::OpenAdapterFn open = nullptr;
    abi::CloseAdapterFn close = nullptr;
    abi::RequestFn request = nullptr;
    abi::StartReceiveFn startReceive = nullptr;
    abi::AlertableWaitFn wait = nullptr;
    std::string error;

    static const DriverEntries& Get() {
        static const DriverEntries entries = Load();
        return entries;
    }

private:
    static DriverEntries Load() {
        DriverEntries entries;
        // Kept loaded for the rest of the run; mode (c) shares this copy.
        void* library = ::dlopen(kW32N55LibraryName, RTLD_NOW | RTLD_LOCAL);
        const auto lookup =
            library != nullptr
                ? reinterpret_cast<W32N55_GetProcAddressFn>(::dlsym(library, kW32N55LookupSymbol))
                : nullptr;
        if (lookup == nullptr) {
            const char* reason = ::dlerror();
            entries.error = std::string("cannot load ") + kW32N55LibraryName + ": " +
                            (reason != nullptr ? reason : "no lookup");
            return entries;
        }
        entries.completionStyle =
            reinterpret_cast<abi::CompletionStyleFn>(lookup(abi::kCompletionStyle));
        entries.open = reinterpret_cast<abi::OpenAdapterFn>(lookup(abi::kOpenAdapter));
        entries.close = reinterpret_cast<abi::CloseAdapterFn>(lookup(abi::kCloseAdapter));
        entries.request = reinterpret_cast<abi::RequestFn>(lookup(abi::kRequest));
        entries.startReceive = reinterpret_cast<abi::StartReceiveFn>(lookup(abi::kStartReceive));
        entries.wait = reinterpret_cast<abi::AlertableWaitFn>(lookup(abi::kAlertableWait));
        return entries;
    }
};

class DriverReceiver final : public CaptureReceiver {
public:
    ~DriverReceiver() override { Close(); }

    bool Open(const std::string& interface, std::string& error) override {
        const DriverEntries& driver = DriverEntries::Get();
        if (!driver.error.empty()) {
            error = driver.error;
            return false;
        }
        handle_ = driver.open(interface.c_str());
        if (handle_ == abi::kNoHandle) {
            error = "cannot open " + interface;
            return false;
        }
        singleArgument_ = driver.completionStyle() != 0;
        for (Package& package : packages_) {
            package.owner = this;
            package.overlapped.OffsetHigh = reinterpret_cast<ULONG_PTR>(&package);
            package.record[rr::kCapacityOffset] = rr::kDataCapacity & 0xFF;
            package.record[rr::kCapacityOffset + 1] = (rr::kDataCapacity >> 8) & 0xFF;
            Arm(package);
        }
        std::uint32_t filter = kPromiscuousFilter;
        if (Request(NDIS_REQUEST_SET, OID_GEN_CURRENT_PACKET_FILTER, filter) != 0) {
            error = "cannot set the packet filter";
            Close();
            return false;
        }
        return true;
    }

    ReceiveResult Receive(std::uint64_t target, std::chrono::milliseconds idle) override {
        const abi::AlertableWaitFn wait = DriverEntries::Get().wait;
        auto lastProgress = Clock::now();
        while (result_.frames < target && Clock::now() - lastProgress < idle) {
            const std::uint64_t before = result_.frames;
            wait(-1, kWaitMs);
            if (result_.frames != before) {
                lastProgress = result_.last = Clock::now();
            }
        }
        return result_;
    }

    // The capture's own drop count, as the driver reports missed frames.
    std::uint64_t Drops() override {
        std::uint32_t missed = 0;
        return handle_ != abi::kNoHandle &&
                       Request(NDIS_REQUEST_QUERY, OID_GEN_RCV_NO_BUFFER, missed) == 0
                   ? missed
                   : 0;
    }

    void Close() override {
        if (handle_ != abi::kNoHandle) {
            std::uint32_t nothing = 0;
            Request(NDIS_REQUEST_SET, OID_GEN_CURRENT_PACKET_FILTER, nothing);
            // Drops this thread's armed receives with the adapter.
            DriverEntries::Get().close(handle_);
            handle_ = abi::kNoHandle;
        }
    }

private:
    struct Package {
        std::array<std::uint8_t, rr::kBufferSize> record{};
        std::uint32_t count = 0;
        OVERLAPPED overlapped{};
        DriverReceiver* owner = nullptr;
    };

    std::uint32_t Request(std::uint32_t type, std::uint32_t oid, std::uint32_t& value) {
        _RETH_REQUEST request{};
        request.RequestType = type;
        request.Oid = oid;
        request.InformationBuffer = &value;
        request.InformationBufferLength = sizeof value;
        return DriverEntries::Get().request(handle_, &request, nullptr, 1);
    }

    void Arm(Package& package) {
        void* routine = singleArgument_ ? reinterpret_cast<void*>(&SingleArgument)
                                        : reinterpret_cast<void*>(&ThreeArgument);
        DriverEntries::Get().startReceive(handle_, package.record.data(), &package.count,
                                          &package.overlapped, routine);
    }

    void Take(Package& package) {
        const std::uint8_t* record = package.record.data();
        const auto length = static_cast<std::uint32_t>(record[rr::kLengthOffset] |
                                                       record[rr::kLengthOffset + 1] << 8);
        if (IsBenchFrame(record + rr::kDataOffset, length)) {
            ++result_.frames;
        }
        Arm(package);
    }

    static Package& PackageOf(OVERLAPPED* overlapped) {
        return *reinterpret_cast<Package*>(overlapped->OffsetHigh);
    }

    static void ThreeArgument(std::uint32_t, std::uint32_t, OVERLAPPED* overlapped) {
        Package& package = PackageOf(overlapped);
        package.owner->Take(package);
    }

    static std::uint32_t SingleArgument(OVERLAPPED* overlapped) {
        Package& package = PackageOf(overlapped);
        package.owner->Take(package);
        return 0;
    }

    abi::Handle handle_ = abi::kNoHandle;
    bool singleArgument_ = false;
    std::array<Package, kPackages> packages_{};
    ReceiveResult result_;
};

const CaptureReceiverRegistration kRegistration{
    "b", "w32n55 receive call, alertable wait",
    []() -> std::unique_ptr<CaptureReceiver> { return std::make_unique<DriverReceiver>(); }};

} // namespace
} // namespace capture_bench
