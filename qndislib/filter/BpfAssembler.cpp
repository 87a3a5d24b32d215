#include "qndislib/filter/BpfAssembler.h"

#include <limits>
#include <stdexcept>

namespace qndis::bpf {
namespace {

constexpr std::size_t MaxShortJump = std::numeric_limits<std::uint8_t>::max();

} // namespace

Assembler::Label Assembler::NewLabel() {
    return m_labels++;
}

void Assembler::Bind(Label label) {
    Item item;
    item.isLabel = true;
    item.label = label;
    m_items.push_back(item);
}

void Assembler::Emit(std::uint16_t code, std::uint32_t k) {
    Item item;
    item.instruction = Instruction{code, 0, 0, k};
    m_items.push_back(item);
}

void Assembler::Branch(std::uint16_t code, std::uint32_t k, Label ifTrue, Label ifFalse) {
    Item item;
    item.instruction = Instruction{code, 0, 0, k};
    item.conditional = true;
    item.jumpTrue = ifTrue;
    item.jumpFalse = ifFalse;
    m_items.push_back(item);
}

void Assembler::Goto(Label label) {
    Item item;
    item.instruction = Instruction{JMP | JA, 0, 0, 0};
    item.unconditional = true;
    item.jumpTrue = label;
    m_items.push_back(item);
}

std::vector<std::size_t> Assembler::LabelPositions(const std::vector<Item>& items,
                                                   Label labelCount) {
    std::vector<std::size_t> positions(labelCount, std::numeric_limits<std::size_t>::max());
    std::size_t position = 0;
    for (const Item& item : items) {
        if (item.isLabel) {
            positions[item.label] = position;
        } else {
            ++position;
        }
    }
    return positions;
}

// One pass: every conditional jump that reaches too far gets an
// unconditional jump right behind it for each far target. Returns whether
// anything was inserted; insertions can push other jumps out of reach, so
// the caller repeats until a pass inserts nothing.
bool Assembler::AddTrampolines(std::vector<Item>& items, Label& nextLabel) {
    const std::vector<std::size_t> positions = LabelPositions(items, nextLabel);
    std::vector<Item> result;
    result.reserve(items.size());
    bool inserted = false;
    std::size_t position = 0;
    for (Item item : items) {
        if (item.isLabel) {
            result.push_back(item);
            continue;
        }
        if (!item.conditional) {
            result.push_back(item);
            ++position;
            continue;
        }
        const bool farTrue = positions[item.jumpTrue] - position - 1 > MaxShortJump;
        const bool farFalse = positions[item.jumpFalse] - position - 1 > MaxShortJump;
        std::vector<Item> trampolines;
        for (Label* target :
             {farTrue ? &item.jumpTrue : nullptr, farFalse ? &item.jumpFalse : nullptr}) {
            if (target == nullptr) {
                continue;
            }
            Item label;
            label.isLabel = true;
            label.label = nextLabel++;
            Item jump;
            jump.instruction = Instruction{JMP | JA, 0, 0, 0};
            jump.unconditional = true;
            jump.jumpTrue = *target;
            *target = label.label;
            trampolines.push_back(label);
            trampolines.push_back(jump);
        }
        result.push_back(item);
        ++position;
        inserted = inserted || !trampolines.empty();
        result.insert(result.end(), trampolines.begin(), trampolines.end());
    }
    items = std::move(result);
    return inserted;
}

std::vector<Instruction> Assembler::Finish() const {
    std::vector<Item> items = m_items;
    Label labels = m_labels;
    while (AddTrampolines(items, labels)) {
    }
    const std::vector<std::size_t> positions = LabelPositions(items, labels);
    std::vector<Instruction> program;
    for (const Item& item : items) {
        if (item.isLabel) {
            continue;
        }
        const std::size_t position = program.size();
        Instruction instruction = item.instruction;
        auto distance = [&](Label label) {
            if (positions[label] <= position || positions[label] > items.size()) {
                throw std::logic_error("packet-filter jump to an unbound or earlier label");
            }
            return positions[label] - position - 1;
        };
        if (item.conditional) {
            instruction.jt = static_cast<std::uint8_t>(distance(item.jumpTrue));
            instruction.jf = static_cast<std::uint8_t>(distance(item.jumpFalse));
        } else if (item.unconditional) {
            instruction.k = static_cast<std::uint32_t>(distance(item.jumpTrue));
        }
        program.push_back(instruction);
    }
    return program;
}

} // namespace qndis::bpf
