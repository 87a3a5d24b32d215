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
        if (size_ == slots_.size()) {
            Grow();
        }
        slots_[(head_ + size_) % slots_.size()] = receive;
        ++size_;
    }

    const ArmedReceive& Front() const { return slots_[head_]; }

    ArmedReceive Pop() {
        const ArmedReceive front = slots_[head_];
        head_ = (head_ + 1) % slots_.size();
        --size_;
        return front;
    }

private:
    void Grow() {
        std::vector<ArmedReceive> larger(slots_.empty() ? 256 : 2 * slots_.size());
        for (std::size_t i = 0; i < size_; ++i) {
            larger[i] = slots_[(head_ + i) % slots_.size()];
        }
        slots_ = std::move(larger);
        head_ = 0;
    }

    std::vector<ArmedReceive> slots_;
    std::size_t head_ = 0;
    std::size_t size_ = 0;
};

} // namespace w32n55
