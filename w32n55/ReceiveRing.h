#pragma once

#include "w32n55/ArmedReceive.h"

#include <cstddef>
#include <vector>

namespace w32n55 {

// First-in first-out receives of one adapter. It keeps its storage when it
// empties, so arming and completing in a steady stream allocates nothing.
class ReceiveRing {
public:
    bool Empty() const { return size_ == 0; }
    std::size_t Size() const { return size_; }

    void Push(const ArmedReceive& receive) {
        if (size_ == room_) {
            Grow();
        }
        slots_[Index(head_ + size_)] = receive;
        ++size_;
    }

    const ArmedReceive& Front() const { return slots_[head_]; }

    ArmedReceive Pop() {
        const ArmedReceive front = slots_[head_];
        head_ = Index(head_ + 1);
        --size_;
        return front;
    }

private:
    // The room is a power of two, so that the position wraps without a
    // division on every receive.
    static constexpr std::size_t kInitialRoom = 256;
    static_assert((kInitialRoom & (kInitialRoom - 1)) == 0);

    std::size_t Index(std::size_t position) const { return position & mask_; }

    void Grow() {
        std::vector<ArmedReceive> larger(slots_.empty() ? kInitialRoom : 2 * slots_.size());
        for (std::size_t i = 0; i < size_; ++i) {
            larger[i] = slots_[Index(head_ + i)];
        }
        slots_ = std::move(larger);
        room_ = slots_.size();
        mask_ = room_ - 1;
        head_ = 0;
    }

    std::vector<ArmedReceive> slots_;
    // The room and the room less one, kept apart from the vector, whose size
    // costs a division by the slot size.
    std::size_t room_ = 0;
    std::size_t mask_ = 0;
    std::size_t head_ = 0;
    std::size_t size_ = 0;
};

} // namespace w32n55
