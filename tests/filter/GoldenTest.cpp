// The golden frames and filters of tests/data, each row checked every way
// it applies: analysis, building, parsing, the record, and the verdicts.
#include "TestSupport.h"
#include "qndislib/filter/FilterParser.h"
#include "qndislib/filter/UnpackFilter.h"
#include "qndislib/media/EthernetInfo.h"
#include "tests/support/GoldenFile.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <string>

namespace {

using qndis::test::GoldenRow;
using qndis::test::HexBytes;
using qndis::test::ReadGolden;

struct GoldenFrame {
    std::string where, name, medium;
    Bytes bytes;
    std::int32_t type;
    int header, idOffset, idLength;
    CProtocolId id;
    unsigned tag;
    CMACAddr source, destination;
    std::string flags;

    bool Has(char flag) const { return flags.find(flag) != std::string::npos; }
};

const std::vector<GoldenFrame>& Frames() {
    static const std::vector<GoldenFrame> frames = [] {
        std::vector<GoldenFrame> rows;
        for (const GoldenRow& row : ReadGolden("frames.txt", 12)) {
            const auto& f = row.fields;
            rows.push_back({row.where, f[0], f[1], HexBytes(f[2]), std::stoi(f[3]), std::stoi(f[4]),
                            std::stoi(f[5]), std::stoi(f[6]),
                            CProtocolId(f[7] == "-" ? "" : f[7].c_str()),
                            static_cast<unsigned>(std::stoul(f[8], nullptr, 16)),
                            CMACAddr(f[9].c_str()), CMACAddr(f[10].c_str()), f[11]});
        }
        return rows;
    }();
    return frames;
}

std::unique_ptr<CMediaInfo> Medium(const GoldenFrame& frame) {
    std::unique_ptr<CMediaInfo> medium(CreateMedium(frame.medium));
    EXPECT_NE(medium, nullptr) << frame.where;
    return medium;
}

// A heap copy of exactly `length` bytes, so a read past them trips ASan;
// nullptr for none.
std::unique_ptr<unsigned char[]> Exact(const Bytes& bytes, std::size_t length) {
    if (length == 0) {
        return nullptr;
    }
    auto copy = std::make_unique<unsigned char[]>(length);
    std::copy_n(bytes.begin(), std::min(length, bytes.size()), copy.get());
    return copy;
}

void ExpectFields(const CMediaInfo& medium, const GoldenFrame& frame) {
    EXPECT_EQ(medium.GetFrameType(), frame.type);
    EXPECT_EQ(medium.GetHeaderLen(), frame.header);
    EXPECT_EQ(medium.GeCProtocolIdOffset(), frame.idOffset);
    EXPECT_EQ(medium.GeCProtocolIdLen(), frame.idLength);
    EXPECT_EQ(medium.GetProtocolId(), frame.id) << medium.GetProtocolId().As5Byte();
    EXPECT_EQ(medium.GetSourceAddress(), frame.source);
    EXPECT_EQ(medium.GetDestinationAddress(), frame.destination);
    EXPECT_EQ(medium.IsBroadcast(), frame.Has('B'));
    EXPECT_EQ(medium.IsMulticast(), frame.Has('M'));
    if (const auto* ethernet = dynamic_cast<const CEthernetInfo*>(&medium)) {
        EXPECT_EQ(ethernet->GetTagControl(), frame.tag);
        EXPECT_EQ(ethernet->IsVLANFrame(), frame.type >= 6);
    }
}

TEST(GoldenFrames, AnalysisFindsTheFieldsAndTheFrameTypeAlone) {
    for (const GoldenFrame& frame : Frames()) {
        SCOPED_TRACE(frame.where + " " + frame.name);
        const auto medium = Medium(frame);
        ASSERT_NE(medium, nullptr);
        const auto bytes = Exact(frame.bytes, frame.bytes.size());
        medium->AnalyzeFrame(bytes.get(), frame.bytes.size());
        ExpectFields(*medium, frame);
        for (std::int32_t id = 0; id <= 8; ++id) {
            EXPECT_EQ(medium->CheckFrameId(bytes.get(), frame.bytes.size(), id), id == frame.type)
                << id;
        }
        medium->SetCurrentAddress(frame.destination);
        const std::unique_ptr<CMediaInfo> clone(medium->Clone());
        EXPECT_STREQ(clone->GetShorthand(), frame.medium.c_str());
        EXPECT_EQ(clone->GetCurrentAddress(), frame.destination);
        ExpectFields(*clone, frame);
        if (const auto* ethernet = dynamic_cast<const CEthernetInfo*>(medium.get())) {
            CEthernetInfo assigned;
            assigned = *ethernet;
            EXPECT_EQ(assigned.GetCurrentAddress(), frame.destination);
            ExpectFields(assigned, frame);
        }

        // Without a length Ethernet may read the longest header it knows.
        if (frame.medium == "Ethernet" && frame.bytes.size() <= CEthernetInfo::MaxAnalysedBytes) {
            const auto padded = Exact(frame.bytes, CEthernetInfo::MaxAnalysedBytes);
            medium->AnalyzeFrame(padded.get());
            ExpectFields(*medium, frame);
            EXPECT_TRUE(medium->CheckFrameId(padded.get(), frame.type));
            EXPECT_FALSE(medium->CheckFrameId(padded.get(), frame.type % 7 + 1));
        }

        const auto length = static_cast<unsigned short>(frame.bytes.size());
        CQuorelFrame stored(frame.bytes.data(), length, frame.medium);
        ASSERT_TRUE(stored.AnalyzeFrame());
        const auto header = std::min<unsigned short>(length, frame.header);
        EXPECT_EQ(stored.GetData(), stored.GetFrame() + header);
        EXPECT_EQ(stored.GetDataLength(), length - header);
    }
}

// A frame cut short analyses as if the missing bytes were zero, and is
// never read past its end.
TEST(GoldenFrames, ShortFramesReadMissingBytesAsZero) {
    for (const GoldenFrame& frame : Frames()) {
        for (std::size_t length = 0; length < frame.bytes.size(); ++length) {
            SCOPED_TRACE(frame.where + " " + frame.name + " cut to " + std::to_string(length));
            const auto cut = Exact(frame.bytes, length);
            Bytes zeroed = frame.bytes;
            std::fill(zeroed.begin() + static_cast<std::ptrdiff_t>(length), zeroed.end(), 0);
            const auto reference = Medium(frame);
            const auto medium = Medium(frame);
            ASSERT_TRUE(reference && medium);
            reference->AnalyzeFrame(zeroed.data(), zeroed.size());
            medium->AnalyzeFrame(cut.get(), length);
            ASSERT_EQ(medium->GetFrameType(), reference->GetFrameType());
            ASSERT_EQ(medium->GetHeaderLen(), reference->GetHeaderLen());
            ASSERT_EQ(medium->GetProtocolId(), reference->GetProtocolId());
            ASSERT_EQ(medium->GetSourceAddress(), reference->GetSourceAddress());
            ASSERT_EQ(medium->GetDestinationAddress(), reference->GetDestinationAddress());
            ASSERT_TRUE(medium->CheckFrameId(cut.get(), length, reference->GetFrameType()));
        }
    }
}

TEST(GoldenFrames, BuildingFromTheFieldsGivesTheBytes) {
    for (const GoldenFrame& frame : Frames()) {
        if (!frame.Has('C')) {
            continue;
        }
        SCOPED_TRACE(frame.where + " " + frame.name);
        const auto medium = Medium(frame);
        ASSERT_NE(medium, nullptr);
        const Bytes payload(frame.bytes.begin() + frame.header, frame.bytes.end());
        std::int32_t length = -1;
        std::unique_ptr<unsigned char, void (*)(void*)> built(
            medium->CreateFrame(length, frame.type, payload.data(),
                                static_cast<std::int32_t>(payload.size()), frame.source,
                                frame.destination, frame.id),
            ::operator delete);
        ASSERT_NE(built, nullptr);
        EXPECT_EQ(Bytes(built.get(), built.get() + length), frame.bytes);
        EXPECT_EQ(medium->GetFrameType(), 0) << "building must not analyse";
    }
}

struct GoldenFilter {
    std::string where, text, description;
    Bytes record, packed;
    std::set<std::string> passes;
};

std::vector<GoldenFilter> Filters() {
    std::vector<GoldenFilter> rows;
    for (const GoldenRow& row : ReadGolden("filters.txt", 4)) {
        const auto& f = row.fields;
        const auto repack = f[2].find(" > ");
        const Bytes record = HexBytes(f[2].substr(0, repack));
        GoldenFilter filter{row.where,
                            f[0],
                            f[1],
                            record,
                            repack == std::string::npos ? record
                                                        : HexBytes(f[2].substr(repack + 3)),
                            {}};
        std::istringstream names(f[3] == "-" ? "" : f[3]);
        for (std::string name; names >> name;) {
            filter.passes.insert(name);
        }
        rows.push_back(std::move(filter));
    }
    return rows;
}

// The frames every filter row decides, analysed as a reader of files does.
const std::vector<std::pair<std::string, std::unique_ptr<CQuorelFrame>>>& JudgedFrames() {
    static const auto judged = [] {
        std::vector<std::pair<std::string, std::unique_ptr<CQuorelFrame>>> frames;
        for (const GoldenFrame& frame : Frames()) {
            if (frame.Has('F')) {
                auto stored = std::make_unique<CQuorelFrame>(
                    frame.bytes.data(), static_cast<unsigned short>(frame.bytes.size()),
                    frame.medium);
                EXPECT_TRUE(stored->AnalyzeFrame()) << frame.where;
                frames.emplace_back(frame.name, std::move(stored));
            }
        }
        return frames;
    }();
    return judged;
}

void ExpectVerdicts(const CFilter& filter, const std::set<std::string>& passes, bool inverted) {
    for (const auto& [name, frame] : JudgedFrames()) {
        EXPECT_EQ(filter.CheckFrame(frame.get()), (passes.count(name) != 0) != inverted)
            << name << (inverted ? " under not" : "");
    }
}

// The filter of a row, and the one that must decide every frame the other way.
std::pair<std::unique_ptr<CFilter>, std::unique_ptr<CFilter>>
FilterAndInverse(const GoldenFilter& row) {
    auto filter = FilterOfRow(row.text, row.record);
    if (row.text != "-") {
        return {std::move(filter), FilterOfRow("not (" + row.text + ")", {})};
    }
    if (filter == nullptr || !filter->GetEnabled()) {
        return {std::move(filter), nullptr};
    }
    std::unique_ptr<CFilter> inverse(filter->Clone());
    inverse->SetNegateResult(!inverse->GetNegateResult());
    return {std::move(filter), std::move(inverse)};
}

TEST(GoldenFilters, EachRowDescribesPacksAndDecidesAsWritten) {
    for (const GoldenFilter& row : Filters()) {
        SCOPED_TRACE(row.where + " " + row.text);
        for (const std::string& name : row.passes) {
            EXPECT_TRUE(std::any_of(JudgedFrames().begin(), JudgedFrames().end(),
                                    [&](const auto& frame) { return frame.first == name; }))
                << "no judged frame " << name;
        }
        const auto [filter, inverse] = FilterAndInverse(row);
        ASSERT_NE(filter, nullptr);
        EXPECT_EQ(filter->GetDescription(), row.description);
        EXPECT_EQ(Packed(*filter), row.packed);
        ExpectVerdicts(*filter, row.passes, false);
        if (inverse != nullptr) {
            ExpectVerdicts(*inverse, row.passes, true);
        }

        ktools::CMemoryBuffer stream = Reader(row.record);
        const std::unique_ptr<CFilter> read(UnpackFilter(stream));
        ASSERT_NE(read, nullptr);
        EXPECT_EQ(stream.GetRemaining(), 0);
        EXPECT_EQ(read->GetDescription(), row.description);
        EXPECT_EQ(Packed(*read), row.packed);
        for (std::size_t length = 0; length < row.record.size(); ++length) {
            EXPECT_EQ(Unpacked(Bytes(row.record.begin(),
                                     row.record.begin() + static_cast<std::ptrdiff_t>(length))),
                      nullptr)
                << "cut at " << length;
        }
    }
}

TEST(GoldenFilters, RefusedTextsPointAtTheColumnThatCouldNotBeRead) {
    CFilterParser parser;
    for (const GoldenRow& row : ReadGolden("filter-errors.txt", 3)) {
        SCOPED_TRACE(row.where + " " + row.fields[0]);
        EXPECT_EQ(parser.Parse(row.fields[0]), nullptr);
        EXPECT_EQ(parser.GetErrorColumn(), std::stoi(row.fields[1]));
        EXPECT_NE(parser.GetError().find(row.fields[2]), std::string::npos) << parser.GetError();
        EXPECT_NE(parser.Parse("ip"), nullptr);
        EXPECT_EQ(parser.GetErrorColumn(), 0) << "a good parse clears the error";
        EXPECT_EQ(parser.GetError(), "");
    }
}

} // namespace
