// Builds, analyses, stores and copies an Ethernet frame of every type
// through the installed library; names each mismatch and fails on any.
#include "qndislib/qndislib.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <tuple>
#include <vector>

namespace {

int failures = 0;

void Check(bool ok, const char* what, std::int32_t type) {
    if (!ok) {
        std::printf("MISMATCH: type %d: %s\n", type, what);
        ++failures;
    }
}

// Type, protocol id (chosen so that no frame reads back as another type),
// header length.
constexpr std::array<std::tuple<std::int32_t, const char*, int>, 7> Kinds{{
    {1, "", 14},
    {2, "0800", 14},
    {3, "080007809B", 22},
    {4, "42", 17},
    {5, "E0", 18},
    {6, "86DD", 18},
    {7, "0000000800", 29},
}};

} // namespace

int main() {
    const CMACAddr source("00-A0-C9-14-C8-29");
    std::vector<CQuorelFrame> frames;
    for (const auto& [type, protocol, header] : Kinds) {
        std::array<unsigned char, 46> payload{};
        payload.fill(0x40);
        // Raw 802.3 data begins FF FF; that is what marks the type.
        payload[0] = payload[1] = type == 1 ? 0xFF : 0x40;
        std::int32_t length = 0;
        const std::unique_ptr<unsigned char, void (*)(void*)> bytes(
            CEthernetInfo().CreateFrame(length, type, payload.data(), 46, source,
                                        CMACAddr::MACBroadcast, CProtocolId(protocol)),
            &::operator delete);
        Check(bytes != nullptr && length == header + 46, "frame built", type);
        frames.push_back(bytes == nullptr
                             ? CQuorelFrame()
                             : CQuorelFrame(bytes.get(), static_cast<unsigned short>(length),
                                            std::string("Ethernet")));
        CMediaInfo* medium = frames.back().GetMediaInfo();
        Check(medium != nullptr, "stored frame has a medium", type);
        if (medium != nullptr) {
            medium->AnalyzeFrame(frames.back().GetFrame(), frames.back().GetLength());
            Check(medium->GetFrameType() == type && medium->GetSourceAddress() == source &&
                      medium->GetProtocolId() == CProtocolId(protocol),
                  "analysed back", type);
            Check(frames.back().GetDataLength() == 46 &&
                      std::memcmp(frames.back().GetData(), payload.data(), 46) == 0,
                  "payload after the header", type);
        }
    }
    // Copies outlive their originals and keep their own medium.
    const std::vector<CQuorelFrame> copies = frames;
    frames.clear();
    for (std::size_t i = 0; i < copies.size(); ++i) {
        const CMediaInfo* medium = copies[i].GetMediaInfo();
        const std::int32_t type = std::get<0>(Kinds[i]);
        Check(medium != nullptr && medium->GetFrameType() == type, "copy keeps its analysis", type);
    }
    Check(QWORD(1, 0).AsNumber(true) == "4 294 967 296", "QWORD grouping", 0);
    std::printf(failures == 0 ? "all checks passed\n" : "%d checks failed\n", failures);
    return failures == 0 ? 0 : 1;
}
