// Counts the frames one adapter receives for a few seconds, and how many of
// them are IPv4. Usage: capture_example [ADAPTER [SECONDS]]; ADAPTER may be
// file:PATH to play back a capture file.
#include "qndislib/qndislib.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

struct Counts {
    unsigned long frames = 0;
    unsigned long ipv4 = 0;
    const CFilter* filter = nullptr;
};

// Runs on the capturing thread, inside its alertable wait.
void OnFrame(CNetworkFrame* frame, void* context) {
    auto* counts = static_cast<Counts*>(context);
    frame->AnalyzeFrame(); // classify first: filters read the analysis
    ++counts->frames;
    if (counts->filter->CheckFrame(frame)) {
        ++counts->ipv4;
    }
    frame->ReUse(context); // hand the package back for the next frame
}

} // namespace

int main(int argc, char** argv) {
    const char* adapter = argc > 1 ? argv[1] : "lo";
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 5;

    CFilterParser parser;
    const std::unique_ptr<CFilter> ipv4 = parser.Parse("proto ip");

    // The hook holds its 200 receive packages: keep it off the stack.
    const auto hook = std::make_unique<CNdisHook>();
    if (!hook->OpenDriver(adapter)) {
        std::fprintf(stderr, "cannot open %s\n", adapter);
        return 1;
    }
    Counts counts;
    counts.filter = ipv4.get();
    hook->SetCallback(&OnFrame, &counts);
    hook->ReadStartup(); // arm every package
    hook->StartNormalReception();

    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end) {
        SleepEx(100, TRUE); // completed receives run OnFrame here
    }
    hook->StopReception();
    hook->ResetCallback();
    std::printf("%lu frames, %lu IPv4\n", counts.frames, counts.ipv4);
    return 0;
}
