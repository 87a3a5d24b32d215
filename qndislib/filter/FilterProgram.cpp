#include "qndislib/filter/FilterProgram.h"

#include "qndislib/filter/CompoundFilter.h"
#include "qndislib/filter/ContentFilter.h"
#include "qndislib/filter/DstMACFilter.h"
#include "qndislib/filter/ICMPTypeFilter.h"
#include "qndislib/filter/IPAddrFilter.h"
#include "qndislib/filter/IPPortFilter.h"
#include "qndislib/filter/IPSubprotocolFilter.h"
#include "qndislib/filter/ProtocolFilter.h"
#include "qndislib/filter/SrcMACFilter.h"
#include "qndislib/ktools/BinaryData.h"
#include "qndislib/media/EthernetInfo.h"

#include <algorithm>
#include <limits>
#include <memory>

namespace {

using namespace qndis::bpf;
using Label = Assembler::Label;

// Scratch words: what the prologue learns of a frame, once, for all members.
enum Slot : std::uint32_t {
    FrameLength,  // the frame's length, cut to the snap length
    HeaderLength, // the analysed link-header length
    DataLength,   // bytes behind the header, 0 when the header is longer
    IdHigh,       // protocol identifier byte 1 (byte 0 is always zero)
    IdLow,        // protocol identifier bytes 2 to 5
    DestinationHigh,
    DestinationLow,
    SourceHigh,
    SourceLow,
    IdOffset, // where a tagged frame's identifier starts
    Accumulator,
    Temporary,
    SlotCount,
};
static_assert(SlotCount <= ScratchWords);

// Byte positions the Ethernet analysis reads.
constexpr std::uint32_t DestinationOffset = 0;
constexpr std::uint32_t SourceOffset = 6;
constexpr std::uint32_t TypeOffset = 12;
constexpr std::uint32_t LlcOffset = 14;
constexpr std::uint32_t ControlOffset = 16;
constexpr std::uint32_t SnapCodeOffset = 17;
constexpr std::uint32_t TaggedSnapTagOffset = 22;
constexpr std::uint32_t MaxLengthField = 1500;
constexpr std::uint32_t TagType = 0x8100;
constexpr std::uint32_t CanonicalFormatBit = 0x10;
constexpr std::uint32_t RoutingLengthMask = 0x1F;
constexpr std::uint32_t IPv4ProtocolOffset = 9;
constexpr std::uint32_t MaxFrameLength = std::numeric_limits<std::uint16_t>::max();

// What the members of a tree need the prologue to work out.
struct Needs {
    bool analysis = false;
    bool addresses = false;
    bool identifier = false;
    bool data = false;
};

// A content filter's pattern, with the reference GetData hands out.
using Pattern = std::unique_ptr<ktools::CBinaryData, void (*)(ktools::CBinaryData*)>;

Pattern PatternOf(const CContentFilter& filter) {
    return Pattern(filter.GetData(), [](ktools::CBinaryData* data) {
        if (data != nullptr) {
            data->Release();
        }
    });
}

bool IsSearchAnywhere(const CContentFilter& filter) {
    return filter.GetOffset() == CContentFilter::Anywhere;
}

std::uint32_t Word(const unsigned char* bytes, std::size_t count) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        value = value << 8 | bytes[i];
    }
    return value;
}

constexpr std::uint16_t SizeCode(std::uint32_t bytes) {
    return bytes == 1 ? B : (bytes == 2 ? H : W);
}

class Compiler {
public:
    Compiler(std::uint32_t snapLength, int depthLimit)
        : m_snapLength(std::min(snapLength, MaxFrameLength)), m_depthLimit(depthLimit) {}

    std::vector<Instruction> Compile(const CFilter& root, bool& exact) {
        Needs needs;
        Scan(root, 0, needs);
        Prologue(needs);
        const Label accept = m_code.NewLabel();
        const Label reject = m_code.NewLabel();
        Node(root, true, accept, reject, 0);
        m_code.Bind(accept);
        m_code.Emit(RET | K, m_snapLength);
        m_code.Bind(reject);
        m_code.Emit(RET | K, 0);
        exact = m_exact;
        return m_code.Finish();
    }

private:
    bool CutOff(int depth) const { return m_depthLimit >= 0 && depth >= m_depthLimit; }

    void Scan(const CFilter& filter, int depth, Needs& needs) const {
        if (!filter.GetEnabled()) {
            return;
        }
        switch (filter.GetFilterId()) {
        case FilterSrcMAC:
        case FilterDstMAC:
            needs.analysis = needs.addresses = true;
            break;
        case FilterProtocol:
            needs.analysis = needs.identifier = true;
            break;
        case FilterIPSubprotocol:
        case FilterIPAddr:
        case FilterIPPort:
        case FilterICMPType:
            needs.analysis = needs.data = true;
            break;
        case FilterCompound:
            if (!CutOff(depth)) {
                const auto& compound = static_cast<const CCompoundFilter&>(filter);
                for (unsigned int i = 0; i < compound.GetCount(); ++i) {
                    Scan(*compound.GetAt(i), depth + 1, needs);
                }
            }
            break;
        default:
            break;
        }
    }

    // --- prologue: the analysis, once per frame ---------------------------

    void Prologue(const Needs& needs) {
        const Label store = m_code.NewLabel();
        const Label cut = m_code.NewLabel();
        m_code.Emit(LD | W | LEN);
        m_code.Branch(JMP | JGT | K, m_snapLength, cut, store);
        m_code.Bind(cut);
        m_code.Emit(LD | IMM, m_snapLength);
        m_code.Bind(store);
        m_code.Emit(ST, FrameLength);
        if (!needs.analysis) {
            return;
        }
        // A frame shorter than the bytes the analysis may read is analysed
        // as if zeros followed it; a longer one needs no test per byte.
        const Label whole = m_code.NewLabel();
        const Label padded = m_code.NewLabel();
        const Label body = m_code.NewLabel();
        m_code.Branch(JMP | JGE | K, CEthernetInfo::MaxAnalysedBytes, whole, padded);
        m_code.Bind(whole);
        Analyse(false, needs);
        m_code.Goto(body);
        m_code.Bind(padded);
        Analyse(true, needs);
        m_code.Bind(body);
        if (needs.data) {
            const Label longer = m_code.NewLabel();
            const Label none = m_code.NewLabel();
            const Label done = m_code.NewLabel();
            m_code.Emit(LDX | MEM, HeaderLength);
            m_code.Emit(LD | MEM, FrameLength);
            m_code.Branch(JMP | JGT | X, 0, longer, none);
            m_code.Bind(longer);
            m_code.Emit(ALU | SUB | X);
            m_code.Goto(done);
            m_code.Bind(none);
            m_code.Emit(LD | IMM, 0);
            m_code.Bind(done);
            m_code.Emit(ST, DataLength);
        }
    }

    // A = byte `offset` of the frame, or of the frame index X from the
    // offset when `indexed`; zero beyond the frame's end.
    void PaddedByte(std::uint32_t offset, bool indexed) {
        const Label present = m_code.NewLabel();
        const Label missing = m_code.NewLabel();
        const Label done = m_code.NewLabel();
        m_code.Emit(LD | MEM, FrameLength);
        if (indexed) {
            m_code.Branch(JMP | JGT | X, 0, present, missing);
        } else {
            m_code.Branch(JMP | JGT | K, offset, present, missing);
        }
        m_code.Bind(present);
        m_code.Emit(LD | B | (indexed ? IND : ABS), indexed ? 0 : offset);
        m_code.Goto(done);
        m_code.Bind(missing);
        m_code.Emit(LD | IMM, 0);
        m_code.Bind(done);
    }

    // A = the `size` bytes at `offset` (behind the identifier offset when
    // `indexed`), most significant first.
    void Load(std::uint32_t offset, std::uint32_t size, bool indexed, bool padded) {
        if (!padded) {
            if (indexed) {
                m_code.Emit(LDX | MEM, IdOffset);
            }
            m_code.Emit(LD | SizeCode(size) | (indexed ? IND : ABS), offset);
            return;
        }
        for (std::uint32_t i = 0; i < size; ++i) {
            if (indexed) {
                m_code.Emit(LD | MEM, IdOffset);
                m_code.Emit(ALU | ADD | K, offset + i);
                m_code.Emit(MISC | TAX);
            }
            PaddedByte(offset + i, indexed);
            if (i == 0) {
                m_code.Emit(ST, Accumulator);
                continue;
            }
            m_code.Emit(ST, Temporary);
            m_code.Emit(LD | MEM, Accumulator);
            m_code.Emit(ALU | LSH | K, 8);
            m_code.Emit(LDX | MEM, Temporary);
            m_code.Emit(ALU | OR | X);
            m_code.Emit(ST, Accumulator);
        }
    }

    void Store(Slot slot, std::uint32_t value) {
        m_code.Emit(LD | IMM, value);
        m_code.Emit(ST, slot);
    }

    // Header length and protocol identifier of one frame type. An
    // identifier of `idSize` bytes lands right-aligned in the six bytes.
    void Typed(std::uint32_t header, std::uint32_t idOffset, std::uint32_t idSize, bool indexed,
               bool padded, const Needs& needs, Label done) {
        if (!indexed) {
            Store(HeaderLength, header);
        }
        if (needs.identifier) {
            if (idSize == 5) {
                Load(idOffset, 1, indexed, padded);
                m_code.Emit(ST, IdHigh);
                Load(idOffset + 1, 4, indexed, padded);
            } else {
                Store(IdHigh, 0);
                if (idSize == 0) {
                    m_code.Emit(LD | IMM, 0);
                } else {
                    Load(idOffset, idSize, indexed, padded);
                }
            }
            m_code.Emit(ST, IdLow);
        }
        m_code.Goto(done);
    }

    // The identifier offset of a tagged frame whose tag control starts at
    // `tag`; the header ends `idSize` bytes behind it.
    void Tagged(std::uint32_t tag, std::uint32_t idSize, bool padded, const Needs& needs,
                Label done) {
        const Label routed = m_code.NewLabel();
        const Label plain = m_code.NewLabel();
        const Label header = m_code.NewLabel();
        Load(tag, 1, false, padded);
        m_code.Branch(JMP | JSET | K, CanonicalFormatBit, routed, plain);
        m_code.Bind(plain);
        m_code.Emit(LD | IMM, tag + 2);
        m_code.Goto(header);
        m_code.Bind(routed);
        Load(tag + 2, 1, false, padded);
        m_code.Emit(ALU | AND | K, RoutingLengthMask);
        m_code.Emit(ALU | ADD | K, tag + 4);
        m_code.Bind(header);
        m_code.Emit(ST, IdOffset);
        m_code.Emit(ALU | ADD | K, idSize);
        m_code.Emit(ST, HeaderLength);
        Typed(0, 0, idSize, true, padded, needs, done);
    }

    // The classification, in the analysis' order of tests.
    void Analyse(bool padded, const Needs& needs) {
        const Label done = m_code.NewLabel();
        Label type[8];
        for (Label& label : type) {
            label = m_code.NewLabel();
        }
        const Label snapSsap = m_code.NewLabel();
        const Label snapControl = m_code.NewLabel();
        const Label snapCode = m_code.NewLabel();
        const Label snapCodeEnd = m_code.NewLabel();
        const Label notSnap = m_code.NewLabel();
        const Label llc = m_code.NewLabel();
        const Label notType = m_code.NewLabel();

        Load(TypeOffset, 2, false, padded);
        m_code.Branch(JMP | JEQ | K, TagType, type[6], notType);
        m_code.Bind(notType);
        m_code.Branch(JMP | JGT | K, MaxLengthField, type[2], snapSsap);
        m_code.Bind(snapSsap);
        Load(LlcOffset, 1, false, padded);
        m_code.Branch(JMP | JEQ | K, 0xAA, snapControl, notSnap);
        m_code.Bind(snapControl);
        Load(LlcOffset + 1, 1, false, padded);
        m_code.Branch(JMP | JEQ | K, 0xAA, snapCode, notSnap);
        m_code.Bind(snapCode);
        Load(ControlOffset, 1, false, padded);
        m_code.Branch(JMP | JEQ | K, 0x03, snapCodeEnd, notSnap);
        m_code.Bind(snapCodeEnd);
        const Label lastCodeByte = m_code.NewLabel();
        Load(SnapCodeOffset, 4, false, padded);
        m_code.Branch(JMP | JEQ | K, 0x00000081, lastCodeByte, type[3]);
        m_code.Bind(lastCodeByte);
        Load(SnapCodeOffset + 4, 1, false, padded);
        m_code.Branch(JMP | JEQ | K, 0x00, type[7], type[3]);
        m_code.Bind(notSnap);
        Load(LlcOffset, 2, false, padded);
        m_code.Branch(JMP | JEQ | K, 0xFFFF, type[1], llc);
        m_code.Bind(llc);
        Load(ControlOffset, 1, false, padded);
        m_code.Emit(ALU | AND | K, 0x03);
        m_code.Branch(JMP | JEQ | K, 0x03, type[4], type[5]);

        m_code.Bind(type[1]);
        Typed(14, 0, 0, false, padded, needs, done);
        m_code.Bind(type[2]);
        Typed(14, TypeOffset, 2, false, padded, needs, done);
        m_code.Bind(type[3]);
        Typed(22, SnapCodeOffset, 5, false, padded, needs, done);
        m_code.Bind(type[4]);
        Typed(17, LlcOffset, 1, false, padded, needs, done);
        m_code.Bind(type[5]);
        Typed(18, LlcOffset, 1, false, padded, needs, done);
        m_code.Bind(type[6]);
        Tagged(LlcOffset, 2, padded, needs, done);
        m_code.Bind(type[7]);
        Tagged(TaggedSnapTagOffset, 5, padded, needs, done);

        m_code.Bind(done);
        if (needs.addresses) {
            Load(DestinationOffset, 4, false, padded);
            m_code.Emit(ST, DestinationHigh);
            Load(DestinationOffset + 4, 2, false, padded);
            m_code.Emit(ST, DestinationLow);
            Load(SourceOffset, 4, false, padded);
            m_code.Emit(ST, SourceHigh);
            Load(SourceOffset + 4, 2, false, padded);
            m_code.Emit(ST, SourceLow);
        }
    }

    // --- the tree ---------------------------------------------------------

    // Jumps to `yes` when the filter's verdict may be `want`, else to `no`.
    // For members the machine decides this is exact; an undecidable one
    // may be either.
    void Node(const CFilter& filter, bool want, Label yes, Label no, int depth) {
        if (!filter.GetEnabled()) {
            m_code.Goto(want ? yes : no);
            return;
        }
        const bool satisfied = want != filter.GetNegateResult();
        if (filter.GetFilterId() == FilterCompound) {
            Compound(static_cast<const CCompoundFilter&>(filter), satisfied, yes, no, depth);
            return;
        }
        if (filter.GetFilterId() == FilterContent &&
            IsSearchAnywhere(static_cast<const CContentFilter&>(filter))) {
            SearchAnywhere(static_cast<const CContentFilter&>(filter), satisfied, yes, no);
            return;
        }
        Leaf(filter, satisfied ? yes : no, satisfied ? no : yes);
    }

    void Compound(const CCompoundFilter& filter, bool satisfied, Label yes, Label no, int depth) {
        if (CutOff(depth)) {
            m_exact = false;
            m_code.Goto(yes);
            return;
        }
        // An AND may be satisfied only if every member may say true, and
        // unsatisfied if any may say false; OR the other way round.
        const bool and_ = filter.GetOperator() == CCompoundFilter::OperatorAnd;
        const bool every = and_ == satisfied;
        for (unsigned int i = 0; i < filter.GetCount(); ++i) {
            const Label next = m_code.NewLabel();
            if (every) {
                Node(*filter.GetAt(i), satisfied, next, no, depth + 1);
            } else {
                Node(*filter.GetAt(i), satisfied, yes, next, depth + 1);
            }
            m_code.Bind(next);
        }
        m_code.Goto(every ? yes : no);
    }

    // Only a frame at least as long as the pattern can hold it; whether it
    // does is left to the filter itself.
    void SearchAnywhere(const CContentFilter& filter, bool satisfied, Label yes, Label no) {
        const Pattern pattern = PatternOf(filter);
        if (pattern == nullptr) {
            m_code.Goto(satisfied ? no : yes);
            return;
        }
        const std::uint32_t length = pattern->GetLength();
        if (length == 0) {
            m_code.Goto(satisfied ? yes : no);
            return;
        }
        m_exact = false;
        if (!satisfied) {
            m_code.Goto(yes);
            return;
        }
        m_code.Emit(LD | MEM, FrameLength);
        m_code.Branch(JMP | JGE | K, length, yes, no);
    }

    void Leaf(const CFilter& filter, Label pass, Label fail) {
        switch (filter.GetFilterId()) {
        case FilterSrcMAC:
            Address(SourceHigh, static_cast<const CSrcMACFilter&>(filter).GetMAC(), pass, fail);
            break;
        case FilterDstMAC:
            Address(DestinationHigh, static_cast<const CDstMACFilter&>(filter).GetMAC(), pass,
                    fail);
            break;
        case FilterProtocol:
            Protocol(static_cast<const CProtocolFilter&>(filter).GetProtocol(), pass, fail);
            break;
        case FilterIPSubprotocol:
            DataByte(IPv4ProtocolOffset,
                     static_cast<const CIPSubprotocolFilter&>(filter).GetSubprotocol(), pass, fail);
            break;
        case FilterICMPType:
            BehindIPHeader(0, 1, JEQ, static_cast<const CICMPTypeFilter&>(filter).GetICMPType(),
                           pass, fail);
            break;
        case FilterIPAddr:
            IPAddress(static_cast<const CIPAddrFilter&>(filter), pass, fail);
            break;
        case FilterIPPort:
            IPPort(static_cast<const CIPPortFilter&>(filter), pass, fail);
            break;
        case FilterContent:
            ContentAt(static_cast<const CContentFilter&>(filter), pass, fail);
            break;
        default:
            m_code.Goto(fail);
            break;
        }
    }

    void Address(Slot high, const unsigned char* address, Label pass, Label fail) {
        const Label low = m_code.NewLabel();
        m_code.Emit(LD | MEM, high);
        m_code.Branch(JMP | JEQ | K, Word(address, 4), low, fail);
        m_code.Bind(low);
        m_code.Emit(LD | MEM, high + 1);
        m_code.Branch(JMP | JEQ | K, Word(address + 4, 2), pass, fail);
    }

    void Protocol(const unsigned char* id, Label pass, Label fail) {
        // No encapsulation carries an identifier of six bytes.
        if (id[0] != 0) {
            m_code.Goto(fail);
            return;
        }
        const Label low = m_code.NewLabel();
        m_code.Emit(LD | MEM, IdHigh);
        m_code.Branch(JMP | JEQ | K, id[1], low, fail);
        m_code.Bind(low);
        m_code.Emit(LD | MEM, IdLow);
        m_code.Branch(JMP | JEQ | K, Word(id + 2, 4), pass, fail);
    }

    // Byte `offset` of the data (the bytes behind the link header).
    void DataByte(std::uint32_t offset, std::uint32_t value, Label pass, Label fail) {
        const Label present = m_code.NewLabel();
        m_code.Emit(LD | MEM, DataLength);
        m_code.Branch(JMP | JGT | K, offset, present, fail);
        m_code.Bind(present);
        m_code.Emit(LDX | MEM, HeaderLength);
        m_code.Emit(LD | B | IND, offset);
        m_code.Branch(JMP | JEQ | K, value, pass, fail);
    }

    // Compares the `size` bytes `offset` behind the IPv4 header (whose
    // length the low four bits of the data's first byte give, in words)
    // with `value`.
    void BehindIPHeader(std::uint32_t offset, std::uint32_t size, std::uint16_t condition,
                        std::uint32_t value, Label pass, Label fail) {
        const Label present = m_code.NewLabel();
        const Label fits = m_code.NewLabel();
        m_code.Emit(LD | MEM, DataLength);
        m_code.Branch(JMP | JEQ | K, 0, fail, present);
        m_code.Bind(present);
        m_code.Emit(LDX | MEM, HeaderLength);
        m_code.Emit(LD | B | IND, 0);
        m_code.Emit(ALU | AND | K, 0x0F);
        m_code.Emit(ALU | LSH | K, 2);
        m_code.Emit(ST, Temporary);
        m_code.Emit(ALU | ADD | K, offset + size);
        m_code.Emit(LDX | MEM, DataLength);
        m_code.Branch(JMP | JGT | X, 0, fail, fits);
        m_code.Bind(fits);
        m_code.Emit(LD | MEM, Temporary);
        m_code.Emit(LDX | MEM, HeaderLength);
        m_code.Emit(ALU | ADD | X);
        m_code.Emit(MISC | TAX);
        m_code.Emit(LD | SizeCode(size) | IND, offset);
        Compare(condition, value, pass, fail);
    }

    void Compare(std::uint16_t condition, std::uint32_t value, Label pass, Label fail) {
        if (condition == JGE) {
            // Less than: not greater or equal.
            m_code.Branch(JMP | JGE | K, value, fail, pass);
        } else {
            m_code.Branch(JMP | condition | K, value, pass, fail);
        }
    }

    static bool Condition(eOperation operation, std::uint16_t& condition) {
        switch (operation) {
        case OperationEqual:
            condition = JEQ;
            return true;
        case OperationLess:
            condition = JGE;
            return true;
        case OperationGreater:
            condition = JGT;
            return true;
        }
        return false;
    }

    void IPAddress(const CIPAddrFilter& filter, Label pass, Label fail) {
        std::uint16_t condition = JEQ;
        const std::uint64_t end = std::uint64_t{filter.GetOffset()} + 4;
        if (!Condition(filter.GetOperation(), condition) || end > MaxFrameLength) {
            m_code.Goto(fail);
            return;
        }
        const Label present = m_code.NewLabel();
        m_code.Emit(LD | MEM, DataLength);
        m_code.Branch(JMP | JGE | K, static_cast<std::uint32_t>(end), present, fail);
        m_code.Bind(present);
        m_code.Emit(LDX | MEM, HeaderLength);
        m_code.Emit(LD | W | IND, filter.GetOffset());
        Compare(condition, filter.GetAddress(), pass, fail);
    }

    void IPPort(const CIPPortFilter& filter, Label pass, Label fail) {
        std::uint16_t condition = JEQ;
        if (!Condition(filter.GetOperation(), condition)) {
            m_code.Goto(fail);
            return;
        }
        const std::uint32_t offset = filter.GetType() <= CIPPortFilter::PortSourceAlt ? 0 : 2;
        BehindIPHeader(offset, 2, condition, filter.GetIPPort(), pass, fail);
    }

    void ContentAt(const CContentFilter& filter, Label pass, Label fail) {
        const Pattern pattern = PatternOf(filter);
        if (pattern == nullptr) {
            m_code.Goto(fail);
            return;
        }
        const std::uint32_t length = pattern->GetLength();
        const std::uint64_t end = std::uint64_t{filter.GetOffset()} + length;
        if (length == 0) {
            m_code.Goto(pass);
            return;
        }
        if (end > m_snapLength) {
            m_code.Goto(fail);
            return;
        }
        Label next = m_code.NewLabel();
        m_code.Emit(LD | MEM, FrameLength);
        m_code.Branch(JMP | JGE | K, static_cast<std::uint32_t>(end), next, fail);
        const unsigned char* bytes = pattern->GetData();
        for (std::uint32_t done = 0; done < length;) {
            const std::uint32_t left = length - done;
            const std::uint32_t size = left >= 4 ? 4 : (left >= 2 ? 2 : 1);
            m_code.Bind(next);
            next = m_code.NewLabel();
            m_code.Emit(LD | SizeCode(size) | ABS, filter.GetOffset() + done);
            done += size;
            m_code.Branch(JMP | JEQ | K, Word(bytes + done - size, size),
                          done == length ? pass : next, fail);
        }
    }

    Assembler m_code;
    std::uint32_t m_snapLength;
    int m_depthLimit;
    bool m_exact = true;
};

int Depth(const CFilter& filter) {
    if (filter.GetFilterId() != FilterCompound) {
        return 0;
    }
    const auto& compound = static_cast<const CCompoundFilter&>(filter);
    int deepest = 0;
    for (unsigned int i = 0; i < compound.GetCount(); ++i) {
        deepest = std::max(deepest, Depth(*compound.GetAt(i)));
    }
    return deepest + 1;
}

} // namespace

CFilterProgram::CFilterProgram(const CFilter& filter, std::uint32_t snapLength) {
    // Compound levels from the deepest up are left to the filter until the
    // program fits; with the root itself left, every frame passes.
    int limit = -1;
    while (true) {
        m_instructions = Compiler(snapLength, limit).Compile(filter, m_exact);
        if (m_instructions.size() <= MaxInstructions || limit == 0) {
            return;
        }
        limit = std::max(0, limit < 0 ? Depth(filter) - 1 : limit - 1);
    }
}

std::string CFilterProgram::GetListing() const {
    std::string text = std::to_string(m_instructions.size()) + "\n";
    for (const Instruction& instruction : m_instructions) {
        text += std::to_string(instruction.code) + " " + std::to_string(instruction.jt) + " " +
                std::to_string(instruction.jf) + " " + std::to_string(instruction.k) + "\n";
    }
    return text;
}
