// Builds, analyses and stores an Ethernet frame of every type through the
// installed library, prints what it found and fails on any mismatch.
#include "qndislib/qndislib.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

int failures = 0;

void Check(bool ok, const std::string& what) {
    if (!ok) {
        std::printf("MISMATCH: %s\n", what.c_str());
        ++failures;
    }
}

struct FrameKind {
    std::int32_t type;
    const char* protocol;
    int headerLength;
};

// Protocol identifiers chosen so that no frame reads back as another type.
constexpr std::array<FrameKind, 7> Kinds{{
    {1, "", 14},
    {2, "0800", 14},
    {3, "080007809B", 22},
    {4, "42", 17},
    {5, "E0", 18},
    {6, "86DD", 18},
    {7, "0000000800", 29},
}};

CQuorelFrame BuildAndStore(const FrameKind& kind, const CMACAddr& source) {
    std::array<unsigned char, 46> payload{};
    payload.fill(0x40);
    // Raw 802.3 data begins FF FF; that is what marks the type.
    payload[0] = payload[1] = kind.type == 1 ? 0xFF : 0x40;
    CEthernetInfo ethernet;
    std::int32_t length = 0;
    const std::unique_ptr<unsigned char, void (*)(void*)> bytes(
        ethernet.CreateFrame(length, kind.type, payload.data(),
                             static_cast<std::int32_t>(payload.size()), source,
                             CMACAddr::MACBroadcast, CProtocolId(kind.protocol)),
        &::operator delete);
    const std::string name = "type " + std::to_string(kind.type);
    Check(bytes != nullptr && length == kind.headerLength + 46, name + ": frame built");
    if (bytes == nullptr) {
        return CQuorelFrame();
    }
    CQuorelFrame stored(bytes.get(), static_cast<unsigned short>(length), std::string("Ethernet"));
    CMediaInfo* medium = stored.GetMediaInfo();
    Check(medium != nullptr, name + ": stored frame has a medium");
    if (medium != nullptr) {
        medium->AnalyzeFrame(stored.GetFrame(), stored.GetLength());
        Check(medium->GetFrameType() == kind.type, name + ": classified back");
        Check(medium->GetSourceAddress() == source, name + ": source address");
        Check(medium->GetProtocolId() == CProtocolId(kind.protocol), name + ": protocol id");
        Check(stored.GetDataLength() == payload.size() &&
                  std::memcmp(stored.GetData(), payload.data(), payload.size()) == 0,
              name + ": payload after the header");
    }
    std::printf("%-8s %3u bytes  id %s\n", name.c_str(), stored.GetLength(),
                medium != nullptr ? medium->GetProtocolId().As5Byte() : "-");
    return stored;
}

} // namespace

int main() {
    std::vector<CQuorelFrame> frames;
    for (const FrameKind& kind : Kinds) {
        frames.push_back(BuildAndStore(kind, CMACAddr("00-A0-C9-14-C8-29")));
    }
    // Copies outlive their originals and keep their own medium.
    const std::vector<CQuorelFrame> copies = frames;
    frames.clear();
    for (std::size_t i = 0; i < copies.size(); ++i) {
        const CMediaInfo* medium = copies[i].GetMediaInfo();
        Check(medium != nullptr && medium->GetFrameType() == Kinds[i].type,
              "copy " + std::to_string(i) + " keeps its analysis");
    }
    Check(QWORD(1, 0).AsNumber(true) == "4 294 967 296", "QWORD grouping");
    std::printf(failures == 0 ? "all checks passed\n" : "%d checks failed\n", failures);
    return failures == 0 ? 0 : 1;
}
