#include "TestSupport.h"

#include "qndislib/filter/ResourceStrings.h"
#include "qndislib/filter/UnpackFilter.h"
#include "qndislib/media/EthernetInfo.h"

namespace {

// What library start-up does; these tests link the filter objects alone.
const bool moduleSet = [] {
    CResourceStrings::Instance().SetModule(GetLibraryStringModule());
    return true;
}();

} // namespace

Bytes Packed(const CFilter& filter) {
    ktools::CMemoryBuffer buffer;
    filter.Pack(buffer);
    return Bytes(buffer.GetData(), buffer.GetData() + buffer.GetSize());
}

std::unique_ptr<CFilter> Unpacked(const Bytes& bytes) {
    ktools::CMemoryBuffer buffer = Reader(bytes);
    return std::unique_ptr<CFilter>(UnpackFilter(buffer));
}

std::unique_ptr<CQuorelFrame> Frame(const Bytes& bytes) {
    CEthernetInfo ethernet;
    ethernet.AnalyzeFrame(bytes.data(), bytes.size());
    return std::make_unique<CQuorelFrame>(bytes.data(), static_cast<unsigned short>(bytes.size()),
                                          &ethernet);
}

Bytes EthernetII(const Bytes& destination, const Bytes& source, std::uint16_t type,
                 const Bytes& data) {
    Bytes frame = destination;
    frame.insert(frame.end(), source.begin(), source.end());
    frame.push_back(static_cast<unsigned char>(type >> 8));
    frame.push_back(static_cast<unsigned char>(type));
    frame.insert(frame.end(), data.begin(), data.end());
    return frame;
}

std::unique_ptr<CQuorelFrame> IPFrame(const Bytes& data) {
    return Frame(EthernetII(Bytes(6, 0x02), Bytes(6, 0x04), 0x0800, data));
}
