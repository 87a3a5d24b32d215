// Builds, analyses and stores an Ethernet frame of every type through the
// installed library, prints what it found and fails on any mismatch.
#include "qndislib/qndislib.h"

#include <array>
#include <cstdint>
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

struct FrameBuffer {
    void operator()(unsigned char* bytes) const { ::operator delete(bytes); }
};

CQuorelFrame BuildAndAnalyse(const FrameKind& kind, const CMACAddr& source,
                             const CMACAddr& destination) {
    std::array<unsigned char, 46> payload{};
    for (std::size_t i = 0; i < payload.size(); ++i) {
        payload[i] = static_cast<unsigned char>(0x40 + i);
    }
    if (kind.type == 1) {
        // Raw 802.3 data begins FF FF; that is what marks the type.
        payload[0] = 0xFF;
        payload[1] = 0xFF;
    }
    CEthernetInfo ethernet;
    std::int32_t length = 0;
    const std::unique_ptr<unsigned char, FrameBuffer> bytes(ethernet.CreateFrame(
        length, kind.type, payload.data(), static_cast<std::int32_t>(payload.size()), source,
        destination, CProtocolId(kind.protocol)));
    const std::string name = "type " + std::to_string(kind.type);
    Check(bytes != nullptr, name + ": frame built");
    if (bytes == nullptr) {
        return CQuorelFrame();
    }

    ethernet.AnalyzeFrame(bytes.get(), static_cast<std::size_t>(length));
    Check(ethernet.GetFrameType() == kind.type, name + ": classified back");
    Check(ethernet.GetSourceAddress() == source, name + ": source address");
    Check(ethernet.GetDestinationAddress() == destination, name + ": destination address");
    Check(ethernet.GetHeaderLen() == kind.headerLength, name + ": header length");
    Check(ethernet.GetProtocolId() == CProtocolId(kind.protocol), name + ": protocol id");
    Check(length == kind.headerLength + static_cast<std::int32_t>(payload.size()),
          name + ": frame length");
    Check(ethernet.IsVLANFrame() == (kind.type >= 6), name + ": VLAN flag");

    CQuorelFrame stored(bytes.get(), static_cast<unsigned short>(length), std::string("Ethernet"));
    CMediaInfo* medium = stored.GetMediaInfo();
    Check(medium != nullptr, name + ": stored frame has a medium");
    if (medium != nullptr) {
        medium->AnalyzeFrame(stored.GetFrame(), stored.GetLength());
        Check(medium->GetFrameType() == kind.type, name + ": stored frame classified");
        const auto header = static_cast<unsigned short>(medium->GetHeaderLen());
        Check(stored.GetDataLength() == stored.GetLength() - header, name + ": data length");
        Check(stored.GetDataLength() == payload.size() &&
                  std::memcmp(stored.GetData(), payload.data(), payload.size()) == 0,
              name + ": payload after the header");
    }
    std::printf("%-24s %3u bytes  id %s  %s -> %s\n", name.c_str(), stored.GetLength(),
                medium != nullptr ? medium->GetProtocolId().As5Byte() : "-",
                std::string(source).c_str(), std::string(destination).c_str());
    return stored;
}

void ListFrameTypes() {
    const std::unique_ptr<CMediaInfo> medium(CreateMedium("Ethernet"));
    Check(medium != nullptr, "Ethernet registered at load");
    if (medium == nullptr) {
        return;
    }
    std::int32_t id = 0;
    int count = 0;
    for (const char* name = medium->GetFirstFrameType(id); name != nullptr;
         name = medium->GetNextFrameType(id)) {
        ++count;
        Check(id == count, std::string("frame type ") + name + " in table order");
        std::printf("frame type %d: %s\n", id, name);
    }
    Check(count == 7, "seven frame types");
}

void ShowValues(const std::vector<CQuorelFrame>& frames) {
    QWORD bytes;
    for (const CQuorelFrame& frame : frames) {
        bytes += frame.GetLength();
    }
    const QWORD big = QWORD(0x12345678ULL << 20) + bytes;
    std::printf("stored %zu frames, %s bytes (%s), hex %s\n", frames.size(),
                bytes.AsNumber(true).c_str(), bytes.AsData(false).c_str(),
                bytes.AsHexData().c_str());
    std::printf("big value %s = %s, as address %s\n", big.AsNumber(true).c_str(),
                big.AsData(false).c_str(), QWORD(0x00A0C914C829LL).AsMAC(":").c_str());
    Check(QWORD(std::string("0x00A0C914C829")).AsMAC(":") == "00:A0:C9:14:C8:29", "QWORD AsMAC");
    Check(QWORD(1, 0).AsNumber(true) == "4 294 967 296", "QWORD grouping");
    Check(QWORD(1536).AsData(false) == "   1.5 K", "QWORD data amount");
}

} // namespace

int main() {
    Check(CMACAddr::MACBroadcast.IsBroadcast() && CMACAddr::MACNull.IsNull(), "address constants");
    ListFrameTypes();

    const CMACAddr source("00-A0-C9-14-C8-29");
    const CMACAddr destination(0x0A0B0C0D);
    std::vector<CQuorelFrame> frames;
    for (const FrameKind& kind : Kinds) {
        frames.push_back(BuildAndAnalyse(
            kind, source, kind.type % 2 == 0 ? destination : CMACAddr::MACBroadcast));
    }
    // Copies outlive their originals and keep their own medium.
    const std::vector<CQuorelFrame> copies = frames;
    frames.clear();
    for (std::size_t i = 0; i < copies.size(); ++i) {
        const CMediaInfo* medium = copies[i].GetMediaInfo();
        Check(medium != nullptr && medium->GetFrameType() == Kinds[i].type,
              "copy " + std::to_string(i) + " keeps its analysis");
    }
    ShowValues(copies);

    std::printf(failures == 0 ? "all checks passed\n" : "%d checks failed\n", failures);
    return failures == 0 ? 0 : 1;
}
