#include "qndislib/frame/QuorelFrame.h"

#include "qndislib/frame/BufferFrame.h"
#include "qndislib/media/EthernetInfo.h"

#include <gtest/gtest.h>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

// Stands in for a live frame: it owns a buffer and a description, as a
// receive package does.
class CFakeLiveFrame : public CFrame {
public:
    CFakeLiveFrame(Bytes bytes, const CMediaInfo* medium)
        : m_bytes(std::move(bytes)), m_medium(medium) {}
    QWORD GetPacketNumber() const override { return QWORD(7); }
    QWORD GetTimeStamp() const override { return QWORD(1, 2); }
    const unsigned char* GetFrame() const override { return m_bytes.data(); }
    unsigned short GetLength() const override {
        return static_cast<unsigned short>(m_bytes.size());
    }
    const CMediaInfo* GetMediaInfo() const override { return m_medium; }

private:
    Bytes m_bytes;
    const CMediaInfo* m_medium;
};

class CUncloneableEthernet : public CEthernetInfo {
public:
    CMediaInfo* Clone() const override { throw std::bad_alloc(); }
};

Bytes Frame(std::size_t size, unsigned char type0 = 0x08, unsigned char type1 = 0x00) {
    Bytes bytes(size, 0x11);
    if (size >= 14) {
        bytes[12] = type0;
        bytes[13] = type1;
    }
    return bytes;
}

CEthernetInfo AnalysedEthernet(const Bytes& bytes) {
    CEthernetInfo eth;
    eth.AnalyzeFrame(bytes.data(), bytes.size());
    return eth;
}

TEST(QuorelFrame, NamedMediumStartsUnanalysedAndAnUnknownOneKeepsBytesOnly) {
    const Bytes bytes = Frame(60);
    CQuorelFrame frame(bytes.data(), 60, std::string("Ethernet"));
    EXPECT_EQ(frame.GetDataLength(), 60);
    ASSERT_TRUE(frame.AnalyzeFrame());
    EXPECT_EQ(frame.GetDataLength(), 46);

    CQuorelFrame unknown(bytes.data(), 60, std::string("NoSuchMedium"));
    EXPECT_EQ(unknown.GetMediaInfo(), nullptr);
    EXPECT_EQ(unknown.GetData(), nullptr);
    EXPECT_EQ(unknown.GetDataLength(), 0);
    EXPECT_FALSE(unknown.AnalyzeFrame());
    ASSERT_EQ(unknown.GetLength(), 60);
    EXPECT_EQ(Bytes(unknown.GetFrame(), unknown.GetFrame() + 60), bytes);
}

TEST(QuorelFrame, CopiesOwnTheirBytesAndDescription) {
    const Bytes bytes = Frame(60);
    const CEthernetInfo eth = AnalysedEthernet(bytes);
    auto original = std::make_unique<CQuorelFrame>(bytes.data(), 60, &eth);
    original->SetPacketNumber(QWORD(5));
    original->SetTimeStamp(QWORD(9, 10));
    CQuorelFrame copy(*original);
    CQuorelFrame assigned;
    assigned = *original;
    // Analysis through the copy leaves the original alone.
    const Bytes raw = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x05, 0xDC, 0xFF, 0xFF};
    copy.GetMediaInfo()->AnalyzeFrame(raw.data(), raw.size());
    EXPECT_EQ(original->GetMediaInfo()->GetFrameType(), 2);
    original.reset();
    for (const CQuorelFrame* frame : {&copy, &assigned}) {
        EXPECT_EQ(frame->GetPacketNumber(), 5U);
        EXPECT_EQ(frame->GetTimeStamp(), QWORD(9, 10));
        ASSERT_EQ(frame->GetLength(), 60);
        EXPECT_EQ(Bytes(frame->GetFrame(), frame->GetFrame() + 60), bytes);
    }
    EXPECT_EQ(assigned.GetMediaInfo()->GetFrameType(), 2);
    // Over a frame that holds data, from one without any, and to itself.
    assigned = CQuorelFrame();
    EXPECT_EQ(assigned.GetFrame(), nullptr);
    EXPECT_EQ(assigned.GetMediaInfo(), nullptr);
    copy = copy;
    EXPECT_EQ(copy.GetLength(), 60);
}

TEST(QuorelFrame, FromLiveFrame) {
    const Bytes bytes = Frame(60);
    const CEthernetInfo eth = AnalysedEthernet(bytes);
    const CFakeLiveFrame live(bytes, &eth);
    const CQuorelFrame stored(&live);
    EXPECT_EQ(stored.GetPacketNumber(), 7U);
    EXPECT_EQ(stored.GetTimeStamp(), QWORD(1, 2));
    EXPECT_EQ(Bytes(stored.GetFrame(), stored.GetFrame() + stored.GetLength()), bytes);
    ASSERT_NE(stored.GetMediaInfo(), nullptr);
    EXPECT_NE(stored.GetMediaInfo(), &eth);
    EXPECT_EQ(stored.GetDataLength(), 46);

    const CFakeLiveFrame empty(Bytes{}, &eth);
    const CFakeLiveFrame bare(bytes, nullptr);
    const CQuorelFrame fromEmpty(&empty);
    const CQuorelFrame fromBare(&bare);
    EXPECT_EQ(fromEmpty.GetLength(), 0);
    EXPECT_NE(fromEmpty.GetMediaInfo(), nullptr);
    EXPECT_EQ(fromBare.GetLength(), 60);
    EXPECT_EQ(fromBare.GetMediaInfo(), nullptr);
}

TEST(QuorelFrame, FailedCopyOfLiveFrameKeepsNumbersOnly) {
    const Bytes bytes = Frame(60);
    const CUncloneableEthernet eth;
    const CFakeLiveFrame live(bytes, &eth);
    std::optional<CQuorelFrame> stored;
    ASSERT_NO_THROW(stored.emplace(&live));
    EXPECT_EQ(stored->GetPacketNumber(), 7U);
    EXPECT_EQ(stored->GetLength(), 0);
    EXPECT_EQ(stored->GetFrame(), nullptr);
    EXPECT_EQ(stored->GetMediaInfo(), nullptr);
}

} // namespace

// A frame over a file's bytes: any length a capture file holds, the first
// 65,535 bytes seen alike by length, analysis and data.
TEST(BufferFrame, LongFramesShowTheirFirst65535BytesAndKeepTheirLength) {
    const Bytes bytes = Frame(CBufferFrame::MaxLength + 1);
    CBufferFrame frame("Ethernet");
    for (const auto& [length, shown] : std::vector<std::pair<std::uint32_t, unsigned short>>{
             {0, 0}, {10, 10}, {65535, 65535}, {65536, 65535}, {CBufferFrame::MaxLength, 65535}}) {
        ASSERT_TRUE(frame.Set(bytes.data(), length, QWORD(9U), QWORD(1, 2)));
        EXPECT_EQ(frame.GetCapturedLength(), length);
        EXPECT_EQ(frame.GetLength(), shown);
        ASSERT_TRUE(frame.AnalyzeFrame());
        EXPECT_EQ(frame.GetDataLength(), shown < 14 ? 0 : shown - 14) << length;
    }
    EXPECT_FALSE(frame.Set(bytes.data(), CBufferFrame::MaxLength + 1, QWORD(), QWORD()));
    EXPECT_EQ(frame.GetLength(), 0);
    EXPECT_EQ(frame.GetFrame(), nullptr);
    EXPECT_FALSE(frame.Set(nullptr, 1, QWORD(), QWORD()));
}
