#include "qndislib/ktools/MemoryBuffer.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

using ktools::CBinaryData;
using ktools::CMemoryBuffer;

namespace {

const unsigned char* Bytes(const std::string& text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

bool Finds(const std::string& pattern, const std::string& text) {
    CBinaryData data(Bytes(pattern), static_cast<unsigned int>(pattern.size()));
    return data.Find(Bytes(text), static_cast<unsigned int>(text.size()));
}

bool NaiveFinds(const std::vector<unsigned char>& pattern, const std::vector<unsigned char>& text) {
    return std::search(text.begin(), text.end(), pattern.begin(), pattern.end()) != text.end();
}

std::vector<unsigned char> Stream(const CBinaryData& data) {
    CMemoryBuffer buffer;
    data.Pack(buffer);
    return {buffer.GetData(), buffer.GetData() + buffer.GetSize()};
}

} // namespace

TEST(BinaryData, TextForm) {
    const unsigned char bytes[] = {0x45, 0x00, 0xFF, 0x0A};
    struct Case {
        unsigned int length;
        const char* text;
    };
    for (const Case& c : {Case{0, "{}"}, Case{1, "{0x45}"}, Case{3, "{0x45, 0x0, 0xff}"},
                          Case{4, "{0x45, 0x0, 0xff, 0xa}"}}) {
        EXPECT_EQ(CBinaryData(bytes, c.length).AsString(), c.text);
    }
    EXPECT_EQ(CBinaryData(nullptr, 4).AsString(), "{}");
}

TEST(BinaryData, StreamForm) {
    const unsigned char bytes[] = {1, 2, 3};
    EXPECT_EQ(Stream(CBinaryData(bytes, 3)), (std::vector<unsigned char>{3, 0, 0, 0, 1, 2, 3}));
    EXPECT_EQ(Stream(CBinaryData()), (std::vector<unsigned char>{0, 0, 0, 0}));
}

TEST(BinaryData, UnpackReplacesBytesAndSearchTables) {
    CBinaryData data(Bytes("abc"), 3);
    EXPECT_TRUE(data.Find(Bytes("xxabcxx"), 7));
    const unsigned char stream[] = {2, 0, 0, 0, 'x', 'y'};
    CMemoryBuffer buffer(stream, sizeof stream);
    ASSERT_TRUE(data.Unpack(buffer));
    EXPECT_EQ(data.AsString(), "{0x78, 0x79}");
    EXPECT_FALSE(data.Find(Bytes("xxabcxx"), 7));
    EXPECT_TRUE(data.Find(Bytes("abxyz"), 5));
}

TEST(BinaryData, UnpackOfBrokenStreamsFailsAndLeavesEmptyObject) {
    const std::vector<std::vector<unsigned char>> streams = {
        {}, {3, 0, 0}, {3, 0, 0, 0, 1, 2}, {0xFF, 0xFF, 0xFF, 0xFF, 1}, {0x00, 0x00, 0x00, 0x80},
    };
    for (const auto& stream : streams) {
        CBinaryData data(Bytes("abc"), 3);
        CMemoryBuffer buffer(stream.data(), static_cast<std::int32_t>(stream.size()));
        EXPECT_FALSE(data.Unpack(buffer));
        EXPECT_EQ(data.GetLength(), 0u);
        EXPECT_EQ(data.GetData(), nullptr);
        EXPECT_EQ(data.AsString(), "{}");
    }
}

TEST(BinaryData, FindEdges) {
    struct Case {
        const char* pattern;
        const char* text;
        bool found;
    };
    for (const Case& c : {
             Case{"abc", "xxabcxx", true},
             Case{"abc", "xxabxcx", false},
             Case{"abc", "ab", false},
             Case{"", "anything", true},
             Case{"", "", true},
             Case{"aa", "aaa", true},
             Case{"abcd", "abcd", true},
             Case{"GET ", "xxxxxxxxGET ", true},
             Case{"GET ", "xxxxxxxxxGET", false},
             Case{"abab", "abaabab", true},
             Case{"aab", "aaaaaaab", true},
             Case{"abcab", "abcacabcabx", true},
         }) {
        EXPECT_EQ(Finds(c.pattern, c.text), c.found) << c.pattern << " in " << c.text;
    }
    CBinaryData empty;
    EXPECT_TRUE(empty.Find(nullptr, 0));
}

// Both searches are compared with a plain one over small alphabets, where
// periodic patterns and near misses are common: the skips of the search of
// short text, and the block search of frame-sized text, whose last block
// overlaps the one before it. Half of the texts get the pattern planted,
// at the first or last window or anywhere between.
TEST(BinaryData, FindAgreesWithPlainSearch) {
    struct Shape {
        std::size_t maxPattern;
        std::size_t maxText;
        int rounds;
    };
    std::mt19937 random(7);
    for (const Shape& shape : {Shape{17, 100, 4000}, Shape{70, 1600, 1500}}) {
        for (int round = 0; round < shape.rounds; ++round) {
            const int alphabet = 2 + round % 3;
            auto letter = [&] { return static_cast<unsigned char>(0xFE + random() % alphabet); };
            std::vector<unsigned char> pattern(1 + random() % shape.maxPattern);
            std::vector<unsigned char> text(random() % shape.maxText);
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
                          NaiveFinds(pattern, text))
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
    EXPECT_EQ(data->GetRefCount(), 0);
    data->AddRef();
    data->AddRef();
    data->Release();
    EXPECT_EQ(data->GetRefCount(), 1);
    EXPECT_EQ(destroyed, 0);
    data->Release();
    EXPECT_EQ(destroyed, 1);
}
