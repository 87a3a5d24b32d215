#include "w32n55/InformationBuffer.h"

#include <array>
#include <cstring>
#include <gtest/gtest.h>
#include <tuple>

namespace w32n55 {
namespace {

TEST(InformationBuffer, CountersUseEightBytesOnlyWhenThereIsRoom) {
    const std::uint8_t littleEndian[] = {0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11};
    const std::pair<std::uint32_t, RequestOutcome> cases[] = {
        {9, {NDIS_STATUS_SUCCESS, 8, 0}},
        {8, {NDIS_STATUS_SUCCESS, 8, 0}},
        {6, {NDIS_STATUS_SUCCESS, 4, 0}},
        {4, {NDIS_STATUS_SUCCESS, 4, 0}},
        {3, {NDIS_STATUS_BUFFER_TOO_SHORT, 0, 4}}};
    for (const auto& [length, want] : cases) {
        SCOPED_TRACE(length);
        std::array<std::uint8_t, 9> storage;
        storage.fill(0xEE);
        auto expected = storage;
        std::copy_n(littleEndian, want.bytesWritten, expected.begin());
        const RequestOutcome got =
            InformationBuffer(storage.data(), length).PutCounter(0x1122334455667788);
        EXPECT_EQ(std::tie(got.status, got.bytesWritten, got.bytesNeeded),
                  std::tie(want.status, want.bytesWritten, want.bytesNeeded));
        EXPECT_EQ(storage, expected);
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

TEST(InformationBuffer, SetValueIsReadLittleEndianFromRoomForIt) {
    EXPECT_EQ(InformationBuffer(nullptr, 100).PutULong(1).status, NDIS_STATUS_BUFFER_TOO_SHORT);
    EXPECT_EQ(InformationBuffer(nullptr, 100).GetULong(), std::nullopt);
    const std::uint8_t value[] = {0x0D, 0x00, 0x00, 0x80, 0xFF};
    EXPECT_EQ(InformationBuffer(const_cast<std::uint8_t*>(value), 5).GetULong(), 0x8000000Du);
    EXPECT_EQ(InformationBuffer(const_cast<std::uint8_t*>(value), 3).GetULong(), std::nullopt);
}

} // namespace
} // namespace w32n55
