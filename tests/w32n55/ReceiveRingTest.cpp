#include "w32n55/ReceiveRing.h"

#include <gtest/gtest.h>

namespace w32n55 {
namespace {

// Growth while the ring has wrapped must keep the arming order.
TEST(ReceiveRing, StaysFirstInFirstOutAcrossWrapsAndGrowth) {
    ReceiveRing ring;
    std::uint32_t pushed = 0;
    std::uint32_t popped = 0;
    for (int round = 0; round < 6; ++round) {
        for (int i = 0; i < 200; ++i) {
            ring.Push(ArmedReceive{nullptr, nullptr, nullptr, nullptr, false, pushed++, 0});
        }
        for (int i = 0; i < 150; ++i) {
            ASSERT_EQ(ring.Front().bytes, popped);
            ASSERT_EQ(ring.Pop().bytes, popped++);
        }
        ASSERT_EQ(ring.Size(), pushed - popped);
    }
    while (!ring.Empty()) {
        ASSERT_EQ(ring.Pop().bytes, popped++);
    }
    EXPECT_EQ(popped, pushed);
}

} // namespace
} // namespace w32n55
