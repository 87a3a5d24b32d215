#include "qndislib/ktools/LittleEndian.h"
#include "qndislib/ktools/MemoryBuffer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <tuple>
#include <vector>

using ktools::CBinaryData;
using ktools::CMemoryBuffer;

namespace {

const unsigned char* Bytes(const std::string& text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

std::vector<unsigned char> Stream(const CBinaryData& data) {
    CMemoryBuffer buffer;
    data.Pack(buffer);
    return {buffer.GetData(), buffer.GetData() + buffer.GetSize()};
}

// Whether `action` raised the buffer error (which is deleted, as every
// catcher must).
template <typename F> bool Raises(F action) {
    try {
        action();
    } catch (ktools::CException* error) {
        EXPECT_EQ(error->GetCode(), CMemoryBuffer::ErrorCode);
        delete error;
        return true;
    }
    return false;
}

TEST(BinaryData, TextAndStreamForms) {
    const unsigned char bytes[] = {0x45, 0x00, 0xFF, 0x0A};
    EXPECT_EQ(CBinaryData(bytes, 4).AsString(), "{0x45, 0x0, 0xff, 0xa}");
    EXPECT_EQ(CBinaryData(nullptr, 4).AsString(), "{}");
    EXPECT_EQ(Stream(CBinaryData(bytes, 3)),
              (std::vector<unsigned char>{3, 0, 0, 0, 0x45, 0, 0xFF}));
    EXPECT_EQ(Stream(CBinaryData()), (std::vector<unsigned char>{0, 0, 0, 0}));
}

// A good stream replaces the bytes and the search tables; a broken one
// leaves an empty object.
TEST(BinaryData, UnpackReplacesOrEmpties) {
    const std::vector<std::vector<unsigned char>> streams = {
        {2, 0, 0, 0, 'x', 'y'},   {}, {3, 0, 0}, {3, 0, 0, 0, 1, 2}, {0xFF, 0xFF, 0xFF, 0xFF, 1},
        {0x00, 0x00, 0x00, 0x80},
    };
    for (const auto& stream : streams) {
        CBinaryData data(Bytes("abc"), 3);
        EXPECT_TRUE(data.Find(Bytes("xxabcxx"), 7));
        CMemoryBuffer buffer(stream.data(), static_cast<std::int32_t>(stream.size()));
        const bool good = &stream == &streams.front();
        EXPECT_EQ(data.Unpack(buffer), good);
        EXPECT_EQ(data.AsString(), good ? "{0x78, 0x79}" : "{}");
        EXPECT_EQ(data.GetData() == nullptr, !good);
        // An empty pattern is found in any text.
        EXPECT_EQ(data.Find(Bytes("xxabcxx"), 7), !good);
        EXPECT_TRUE(data.Find(Bytes("abxyz"), 5));
    }
    EXPECT_TRUE(CBinaryData().Find(nullptr, 0));
}

// Both searches are compared with a plain one over small alphabets, where
// periodic patterns and near misses are common: the skips of the search of
// short text, and the block search of frame-sized text, whose last block
// overlaps the one before it. Half of the texts get the pattern planted,
// at the first or last window or anywhere between.
TEST(BinaryData, FindAgreesWithPlainSearch) {
    std::mt19937 random(7);
    for (const auto& [maxPattern, maxText, rounds] :
         {std::tuple{17U, 100U, 4000}, std::tuple{70U, 1600U, 1500}}) {
        for (int round = 0; round < rounds; ++round) {
            const int alphabet = 2 + round % 3;
            auto letter = [&] { return static_cast<unsigned char>(0xFE + random() % alphabet); };
            std::vector<unsigned char> pattern(1 + random() % maxPattern);
            std::vector<unsigned char> text(random() % maxText);
            std::generate(pattern.begin(), pattern.end(), letter);
            std::generate(text.begin(), text.end(), letter);
            if (round % 2 == 1 && text.size() >= pattern.size()) {
                const std::size_t last = text.size() - pattern.size();
                const std::size_t at = round % 6 == 1   ? 0
                                       : round % 6 == 3 ? last
                                                        : random() % (last + 1);
                std::copy(pattern.begin(), pattern.end(),
                          text.begin() + static_cast<std::ptrdiff_t>(at));
            }
            CBinaryData data(pattern.data(), static_cast<unsigned int>(pattern.size()));
            // Searched twice so the second search runs on the kept tables.
            for (int pass = 0; pass < 2; ++pass) {
                ASSERT_EQ(data.Find(text.data(), static_cast<unsigned int>(text.size())),
                          std::search(text.begin(), text.end(), pattern.begin(), pattern.end()) !=
                              text.end())
                    << "pattern " << pattern.size() << " text " << text.size() << " round "
                    << round;
            }
        }
    }
}

TEST(BinaryData, LastReleaseDestroys) {
    static int destroyed = 0;
    struct Counted : CBinaryData {
        ~Counted() override { ++destroyed; }
    };
    auto* data = new Counted;
    data->AddRef();
    data->AddRef();
    data->Release();
    EXPECT_EQ(destroyed, 0);
    data->Release();
    EXPECT_EQ(destroyed, 1);
}

TEST(MemoryBuffer, GrowingKeepsEveryByteAndMoveTransfersThem) {
    CMemoryBuffer buffer;
    std::vector<unsigned char> written;
    for (unsigned int count : {3U, 4997U, 1U, 7344U}) {
        for (unsigned int i = 0; i < count; ++i) {
            written.push_back(static_cast<unsigned char>(written.size() * 7));
        }
        buffer.Write(written.data() + written.size() - count, count);
        ASSERT_EQ(buffer.GetSize(), static_cast<int>(written.size()));
    }
    CMemoryBuffer moved(std::move(buffer));
    EXPECT_EQ(buffer.GetSize(), 0);
    buffer = std::move(moved);
    EXPECT_EQ(std::memcmp(buffer.GetData(), written.data(), written.size()), 0);
    EXPECT_EQ(ktools::le::Read<std::uint32_t>(buffer), 0x150E0700u);
}

TEST(MemoryBuffer, FixedAndForeignStorageRefuseBytesBeyondCapacity) {
    std::array<unsigned char, 8> storage{};
    CMemoryBuffer buffer(storage.data(), 8, 6);
    const unsigned char three[3] = {1, 2, 3};
    EXPECT_TRUE(Raises([&] { buffer.Write(three, 3); }));
    EXPECT_EQ(buffer.GetSize(), 6);
    EXPECT_FALSE(Raises([&] { buffer.Write(three, 2); }));
    EXPECT_EQ(buffer.GetSize(), 8);
    EXPECT_EQ(storage[7], 2);
    CMemoryBuffer view(three, 3);
    EXPECT_TRUE(Raises([&] { view.Write(three, 1); }));
}

TEST(MemoryBuffer, ReadFailsWithoutMovingWhenBytesAreMissing) {
    CMemoryBuffer buffer;
    const unsigned char bytes[] = {1, 2, 3};
    buffer.Write(bytes, 3);
    unsigned char target[4] = {};
    EXPECT_TRUE(Raises([&] { buffer.Read(target, 4); }));
    EXPECT_EQ(buffer.GetReadPosition(), 0);
    EXPECT_FALSE(Raises([&] { buffer.Read(target, 3); }));
    EXPECT_EQ(buffer.GetReadPosition(), 3);
    // Nothing is left and nothing is asked: an empty record may end a stream.
    EXPECT_FALSE(Raises([&] { buffer.Read(target, 0); }));
    buffer.SetReadPosition(4);
    EXPECT_TRUE(Raises([&] { buffer.Read(target, 0); }));
    buffer.SetReadPosition(-1);
    EXPECT_TRUE(Raises([&] { buffer.Read(target, 1); }));
    buffer.SetReadPosition(0);
    EXPECT_TRUE(Raises([&] { buffer.Read(target, 0xFFFFFFFFu); }));
    EXPECT_TRUE(Raises([&] { buffer.Write(bytes, 0xFFFFFFFFu); }));
    EXPECT_EQ(buffer.GetSize(), 3);
}

} // namespace
