#include "w32n55/InformationBuffer.h"

#include <array>
#include <cstring>
#include <gtest/gtest.h>

namespace w32n55 {
namespace {

TEST(InformationBuffer, CountersUseEightBytesOnlyWhenThereIsRoom) {
    constexpr std::uint64_t kValue = 0x1122334455667788;
    struct Case {
        std::uint32_t length;
        std::uint32_t status, written, needed;
        std::array<std::uint8_t, 9> bytes;
    };
    const Case cases[] = {
        {9, NDIS_STATUS_SUCCESS, 8, 0, {0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11, 0xEE}},
        {8, NDIS_STATUS_SUCCESS, 8, 0, {0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11, 0xEE}},
        {6, NDIS_STATUS_SUCCESS, 4, 0, {0x88, 0x77, 0x66, 0x55, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}},
        {4, NDIS_STATUS_SUCCESS, 4, 0, {0x88, 0x77, 0x66, 0x55, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}},
        {3,
         NDIS_STATUS_BUFFER_TOO_SHORT,
         0,
         4,
         {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        std::array<std::uint8_t, 9> storage;
        storage.fill(0xEE);
        InformationBuffer buffer(storage.data(), c.length);
        const RequestOutcome outcome = buffer.PutCounter(kValue);
        EXPECT_EQ(outcome.status, c.status);
        EXPECT_EQ(outcome.bytesWritten, c.written);
        EXPECT_EQ(outcome.bytesNeeded, c.needed);
        EXPECT_EQ(storage, c.bytes);
    }
}

TEST(InformationBuffer, TextCarriesItsTerminatorAndNeverOverruns) {
    char storage[6];
    std::memset(storage, '#', sizeof storage);
    InformationBuffer small(storage, 5);
    const RequestOutcome tooShort = small.PutText("veth 1");
    EXPECT_EQ(tooShort.status, NDIS_STATUS_BUFFER_TOO_SHORT);
    EXPECT_EQ(tooShort.bytesNeeded, 7u);
    EXPECT_EQ(storage[0], '#');

    InformationBuffer exact(storage, 6);
    const RequestOutcome fits = exact.PutText("veth1");
    EXPECT_EQ(fits.status, NDIS_STATUS_SUCCESS);
    EXPECT_EQ(fits.bytesWritten, 6u);
    EXPECT_STREQ(storage, "veth1");
}

TEST(InformationBuffer, NullBufferHasNoRoom) {
    InformationBuffer none(nullptr, 100);
    EXPECT_EQ(none.PutULong(1).status, NDIS_STATUS_BUFFER_TOO_SHORT);
    EXPECT_EQ(none.GetULong(), std::nullopt);
}

TEST(InformationBuffer, SetValueIsReadLittleEndian) {
    const std::uint8_t value[] = {0x0D, 0x00, 0x00, 0x80, 0xFF};
    EXPECT_EQ(InformationBuffer(const_cast<std::uint8_t*>(value), 5).GetULong(), 0x8000000Du);
    EXPECT_EQ(InformationBuffer(const_cast<std::uint8_t*>(value), 3).GetULong(), std::nullopt);
}

} // namespace
} // namespace w32n55
