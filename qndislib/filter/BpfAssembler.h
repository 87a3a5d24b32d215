#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Classic packet-filter machine code, as the socket filters of the kernel
// and libpcap's interpreter run it. The opcode values are those of the
// machine itself, so the program needs no operating-system header.
namespace qndis::bpf {

struct Instruction {
    std::uint16_t code;
    std::uint8_t jt;
    std::uint8_t jf;
    std::uint32_t k;

    friend bool operator==(const Instruction&, const Instruction&) = default;
};
// The layout the kernel's struct sock_filter has.
static_assert(sizeof(Instruction) == 8);
static_assert(offsetof(Instruction, code) == 0 && offsetof(Instruction, jt) == 2 &&
              offsetof(Instruction, jf) == 3 && offsetof(Instruction, k) == 4);

// Instruction classes, operand sizes and modes, operations.
inline constexpr std::uint16_t LD = 0x00, LDX = 0x01, ST = 0x02, ALU = 0x04, JMP = 0x05, RET = 0x06,
                               MISC = 0x07;
inline constexpr std::uint16_t W = 0x00, H = 0x08, B = 0x10;
inline constexpr std::uint16_t IMM = 0x00, ABS = 0x20, IND = 0x40, MEM = 0x60, LEN = 0x80;
inline constexpr std::uint16_t ADD = 0x00, SUB = 0x10, OR = 0x40, AND = 0x50, LSH = 0x60;
inline constexpr std::uint16_t JA = 0x00, JEQ = 0x10, JGT = 0x20, JGE = 0x30, JSET = 0x40;
inline constexpr std::uint16_t K = 0x00, X = 0x08;
inline constexpr std::uint16_t TAX = 0x00;

// The kernel refuses longer programs; so does the interpreter's validator.
inline constexpr std::size_t MaxInstructions = 4096;
// Scratch memory words the machine offers.
inline constexpr std::uint32_t ScratchWords = 16;

// Builds a program whose jumps name labels instead of distances. Classic
// jumps reach at most 255 instructions ahead; Finish routes longer ones
// through unconditional jumps (whose reach is 32 bits) placed right behind
// them, so code can be emitted in any size without thought for distance.
class Assembler {
public:
    using Label = std::size_t;

    Label NewLabel();
    // The label names the next instruction emitted.
    void Bind(Label label);
    void Emit(std::uint16_t code, std::uint32_t k = 0);
    // A conditional jump: `code` is JMP | condition | K or X.
    void Branch(std::uint16_t code, std::uint32_t k, Label ifTrue, Label ifFalse);
    void Goto(Label label);

    // The finished program; every label must be bound behind its jumps.
    std::vector<Instruction> Finish() const;

private:
    // Labels are entries of the sequence that occupy no instruction, so
    // inserting instructions never moves them off their place.
    struct Item {
        bool isLabel = false;
        Label label = 0;
        Instruction instruction{};
        Label jumpTrue = 0;
        Label jumpFalse = 0;
        bool conditional = false;
        bool unconditional = false;
    };

    static bool AddTrampolines(std::vector<Item>& items, Label& nextLabel);
    static std::vector<std::size_t> LabelPositions(const std::vector<Item>& items,
                                                   Label labelCount);

    std::vector<Item> m_items;
    Label m_labels = 0;
};

} // namespace qndis::bpf
