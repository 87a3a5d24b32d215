// Mode (c): the whole library path an analyser runs. A capture hook with its
// 200 receive packages on the interface; the callback analyses each frame,
// asks one three-member compound filter and hands the package back.
// Modes (f) and (k) take a flood of which one frame in a hundred passes
// their filter, deciding it in the callback only (f) or with the filter's
// program attached in the kernel as well (k); they count passing frames.
#include "bench/capture_receiver.h"
#include "qndislib/adapter/NDISRequesterProxy.h"
#include "qndislib/capture/NdisHook.h"
#include "qndislib/filter/CompoundFilter.h"
#include "qndislib/filter/ContentFilter.h"
#include "qndislib/filter/DstMACFilter.h"
#include "qndislib/filter/ProtocolFilter.h"
#include "qndislib/filter/SrcMACFilter.h"

#include <cstdio>

namespace capture_bench {
namespace {

using Clock = std::chrono::steady_clock;

// Every member decides "pass" for a bench frame, so AND asks all three.
std::unique_ptr<CCompoundFilter> MakeFilter() {
    auto filter = std::make_unique<CCompoundFilter>(CCompoundFilter::OperatorAnd, "bench");
    filter->Add(CProtocolFilter(CProtocolId("88B5"), "bench type", false));
    filter->Add(CDstMACFilter("FFFFFFFFFFFF", "not broadcast", true));
    filter->Add(CSrcMACFilter("000000000000", "not null", true));
    return filter;
}

// Passes the marked frames of the flood only.
std::unique_ptr<CCompoundFilter> MakeMarkFilter() {
    auto filter = std::make_unique<CCompoundFilter>(CCompoundFilter::OperatorAnd, "marked");
    filter->Add(CProtocolFilter(CProtocolId("88B5"), "bench type", false));
    unsigned char mark = kMark;
    filter->Add(CContentFilter(&mark, 1, kMarkOffset, "mark", false));
    return filter;
}

std::uint64_t AsU64(QWORD value) {
    return static_cast<std::uint64_t>(static_cast<std::int64_t>(value));
}

class LibraryReceiver final : public CaptureReceiver {
public:
    LibraryReceiver() = default;
    // `kernel`: the filter's program is attached as well.
    LibraryReceiver(std::unique_ptr<CCompoundFilter> filter, bool kernel)
        : filter_(std::move(filter)), kernel_(kernel), countPasses_(true) {}
    ~LibraryReceiver() override { Close(); }

    bool Open(const std::string& interface, std::string& error) override {
        hook_ = std::make_unique<CNdisHook>();
        if (!hook_->OpenDriver(interface.c_str())) {
            error = "CNdisHook::OpenDriver failed";
            hook_.reset();
            return false;
        }
        hook_->SetCallback(&LibraryReceiver::OnFrame, this);
        if (kernel_ && !hook_->SetKernelFilter(filter_.get())) {
            error = "cannot attach the kernel filter";
            Close();
            return false;
        }
        hook_->ReadStartup();
        if (!hook_->StartPromiscuousReception()) {
            error = "cannot set the packet filter";
            Close();
            return false;
        }
        return true;
    }

    ReceiveResult Receive(std::uint64_t target, std::chrono::milliseconds idle) override {
        auto lastProgress = Clock::now();
        while (result_.frames < target && Clock::now() - lastProgress < idle) {
            const std::uint64_t before = result_.frames;
            SleepEx(10, TRUE);
            if (result_.frames != before) {
                lastProgress = result_.last = Clock::now();
            }
        }
        return result_;
    }

    // What the driver reports lost; the frames the packet numbers skip are
    // shown beside it whenever anything was lost.
    std::uint64_t Drops() override {
        if (hook_ == nullptr) {
            return 0;
        }
        CNDISRequesterProxy proxy(hook_.get());
        const std::int32_t missed = proxy.GetMissedFrames();
        const std::int32_t soft = proxy.GetSoftMissedFrames();
        if (missed > 0 || soft > 0 || gaps_ > 0) {
            std::printf("       mode c detail: missed %d  soft-missed %d  packet-number gaps %llu  "
                        "filter passes %llu\n",
                        missed, soft, static_cast<unsigned long long>(gaps_),
                        static_cast<unsigned long long>(passes_));
        }
        return static_cast<std::uint64_t>(missed > 0 ? missed : 0) +
               static_cast<std::uint64_t>(soft > 0 ? soft : 0);
    }

    void Close() override {
        if (hook_ != nullptr) {
            hook_->StopReception();
            hook_.reset();
        }
    }

private:
    static void OnFrame(CNetworkFrame* frame, void* context) {
        static_cast<LibraryReceiver*>(context)->Take(*frame);
        frame->ReUse(context);
    }

    void Take(CNetworkFrame& frame) {
        const std::uint64_t number = AsU64(frame.GetPacketNumber());
        if (lastNumber_ != 0 && number > lastNumber_ + 1) {
            gaps_ += number - lastNumber_ - 1;
        }
        lastNumber_ = number;
        frame.AnalyzeFrame();
        const bool passes = filter_->CheckFrame(&frame);
        passes_ += passes ? 1 : 0;
        if (countPasses_ ? passes : IsBenchFrame(frame.GetFrame(), frame.GetLength())) {
            ++result_.frames;
        }
    }

    std::unique_ptr<CNdisHook> hook_;
    std::unique_ptr<CCompoundFilter> filter_ = MakeFilter();
    bool kernel_ = false;
    bool countPasses_ = false;
    ReceiveResult result_;
    std::uint64_t lastNumber_ = 0;
    std::uint64_t gaps_ = 0;
    std::uint64_t passes_ = 0;
};

const CaptureReceiverRegistration kRegistration{
    "c", "qndislib hook, analysis, filter, ReUse",
    []() -> std::unique_ptr<CaptureReceiver> { return std::make_unique<LibraryReceiver>(); }};

const CaptureReceiverRegistration kCallbackFilter{
    "f", "1% filter in the callback only", kMarkEvery, []() -> std::unique_ptr<CaptureReceiver> {
        return std::make_unique<LibraryReceiver>(MakeMarkFilter(), false);
    }};

const CaptureReceiverRegistration kKernelFilter{
    "k", "1% filter attached in the kernel", kMarkEvery, []() -> std::unique_ptr<CaptureReceiver> {
        return std::make_unique<LibraryReceiver>(MakeMarkFilter(), true);
    }};

} // namespace
} // namespace capture_bench
