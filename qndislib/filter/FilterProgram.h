#pragma once

#include "qndislib/Export.h"
#include "qndislib/filter/BpfAssembler.h"

#include <cstdint>
#include <string>
#include <vector>

class CFilter;

// A filter tree compiled to a classic packet-filter program over Ethernet
// frames, so that the kernel can drop what the filter rejects before a
// frame is copied out. The program reads a frame as the Ethernet analysis
// does (every encapsulation, routing fields, bytes beyond a short frame
// read as zero) and passes exactly the frames for which CheckFrame after
// AnalyzeFrame is true.
//
// Where the machine cannot decide a member (a content search anywhere in
// the frame needs a loop), or where the tree would not fit the 4,096
// instructions the kernel takes, the program over-approximates: it passes
// every frame the filter could pass and leaves the rest to CheckFrame.
// It never rejects a frame that the filter passes.
class QNDIS_API CFilterProgram {
public:
    using Instruction = qndis::bpf::Instruction;

    // The largest length a frame reports (its length is 16 bits).
    static constexpr std::uint32_t DefaultSnapLength = 65535;

    // `snapLength`: the bytes of a frame that reach the application; the
    // program sees frames as cut to that length, as the application will,
    // and returns it for a passing frame.
    explicit CFilterProgram(const CFilter& filter, std::uint32_t snapLength = DefaultSnapLength);

    const std::vector<Instruction>& GetInstructions() const { return m_instructions; }
    // False when the program over-approximates the filter.
    bool IsExact() const { return m_exact; }
    // The instruction count on the first line, then one line of decimal
    // "code jt jf k" per instruction.
    std::string GetListing() const;

private:
    std::vector<Instruction> m_instructions;
    bool m_exact = true;
};
