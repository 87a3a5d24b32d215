#include "qndislib/ktools/MemoryBuffer.h"

#include "qndislib/ktools/LittleEndian.h"

#include <array>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

using ktools::CMemoryBuffer;

namespace {

// Runs `action` and returns the code of the buffer error it raised, or -1
// when it raised nothing. The error object is deleted as every catcher must.
template <typename F> int RaisedCode(F action) {
    try {
        action();
    } catch (CMemoryBuffer::CException* error) {
        const int code = error->GetCode();
        EXPECT_TRUE(error->GetFlag());
        EXPECT_GT(error->GetLine(), 0);
        EXPECT_NE(std::strstr(error->GetFile(), "MemoryBuffer"), nullptr);
        delete error;
        return code;
    }
    return -1;
}

} // namespace

TEST(MemoryBuffer, GrowsInStepsOf5000KeepingBytes) {
    struct Step {
        unsigned int count;
        int size;
        int capacity;
    };
    CMemoryBuffer buffer;
    std::vector<unsigned char> written;
    for (const Step& step : {Step{3, 3, 5000}, Step{4997, 5000, 5000}, Step{1, 5001, 10000},
                             Step{7344, 12345, 15000}, Step{0, 12345, 15000}}) {
        std::vector<unsigned char> bytes(step.count);
        for (unsigned int i = 0; i < step.count; ++i) {
            bytes[i] = static_cast<unsigned char>(written.size() + i);
        }
        buffer.Write(bytes.data(), step.count);
        written.insert(written.end(), bytes.begin(), bytes.end());
        EXPECT_EQ(buffer.GetSize(), step.size);
        EXPECT_EQ(buffer.GetCapacity(), step.capacity);
    }
    ASSERT_EQ(std::memcmp(buffer.GetData(), written.data(), written.size()), 0);
}

TEST(MemoryBuffer, FixedBufferRefusesBytesBeyondCapacity) {
    std::array<unsigned char, 8> storage{};
    CMemoryBuffer buffer(storage.data(), 8, 6);
    const unsigned char three[3] = {1, 2, 3};
    EXPECT_EQ(RaisedCode([&] { buffer.Write(three, 3); }), CMemoryBuffer::ErrorCode);
    EXPECT_EQ(buffer.GetSize(), 6);
    EXPECT_EQ(RaisedCode([&] { buffer.Write(three, 2); }), -1);
    EXPECT_EQ(buffer.GetSize(), 8);
    EXPECT_EQ(storage[6], 1);
    EXPECT_EQ(storage[7], 2);
    EXPECT_EQ(buffer.GetCapacity(), 8);
}

TEST(MemoryBuffer, ReadOnlyViewReadsForeignBytesAndRefusesWrites) {
    const unsigned char bytes[] = {9, 8, 7};
    CMemoryBuffer buffer(bytes, 3);
    EXPECT_EQ(RaisedCode([&] { buffer.Write(bytes, 1); }), CMemoryBuffer::ErrorCode);
    unsigned char target[3] = {};
    buffer.Read(target, 3);
    EXPECT_EQ(std::memcmp(target, bytes, 3), 0);
}

TEST(MemoryBuffer, ReadFailsWithoutMovingWhenBytesAreMissing) {
    CMemoryBuffer buffer;
    const unsigned char bytes[] = {1, 2, 3};
    buffer.Write(bytes, 3);
    unsigned char target[4] = {};
    EXPECT_EQ(RaisedCode([&] { buffer.Read(target, 4); }), CMemoryBuffer::ErrorCode);
    EXPECT_EQ(buffer.GetReadPosition(), 0);
    EXPECT_EQ(RaisedCode([&] { buffer.Read(target, 3); }), -1);
    EXPECT_EQ(RaisedCode([&] { buffer.Read(target, 0); }), -1);
    EXPECT_EQ(buffer.GetReadPosition(), 3);
    buffer.SetReadPosition(4);
    EXPECT_EQ(RaisedCode([&] { buffer.Read(target, 0); }), CMemoryBuffer::ErrorCode);
    buffer.SetReadPosition(-1);
    EXPECT_EQ(RaisedCode([&] { buffer.Read(target, 1); }), CMemoryBuffer::ErrorCode);
}

TEST(MemoryBuffer, HugeCountsRaiseInsteadOfWrapping) {
    CMemoryBuffer buffer;
    const unsigned char byte = 0;
    buffer.Write(&byte, 1);
    unsigned char target = 0;
    EXPECT_EQ(RaisedCode([&] { buffer.Read(&target, 0xFFFFFFFFu); }), CMemoryBuffer::ErrorCode);
    EXPECT_EQ(RaisedCode([&] { buffer.Write(&byte, 0xFFFFFFFFu); }), CMemoryBuffer::ErrorCode);
    EXPECT_EQ(buffer.GetSize(), 1);
}

TEST(MemoryBuffer, ErrorIsCatchableAsEveryDocumentedType) {
    CMemoryBuffer buffer;
    unsigned char target = 0;
    try {
        buffer.Read(&target, 1);
        FAIL();
    } catch (ktools::CException* error) {
        EXPECT_EQ(error->GetCode(), 1);
        delete error;
    }
    try {
        buffer.Read(&target, 1);
        FAIL();
    } catch (void* error) {
        delete static_cast<CMemoryBuffer::CException*>(error);
    }
}

TEST(MemoryBuffer, MoveTransfersStorage) {
    CMemoryBuffer first;
    ktools::le::Write<std::uint32_t>(first, 0x04030201u);
    CMemoryBuffer second(std::move(first));
    EXPECT_EQ(first.GetSize(), 0);
    ASSERT_EQ(second.GetSize(), 4);
    EXPECT_EQ(second.GetData()[0], 1);
    EXPECT_EQ(second.GetData()[3], 4);
    first = std::move(second);
    EXPECT_EQ(ktools::le::Read<std::uint32_t>(first), 0x04030201u);
}
