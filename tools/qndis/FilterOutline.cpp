#include "tools/qndis/FilterOutline.h"

#include "qndislib/qndislib.h"

#include <array>

namespace qndis::tool {

namespace {

constexpr std::array<const char*, 10> KindNames{
    "unknown",    "source MAC", "destination MAC", "link protocol", "IP protocol",
    "IP address", "IP port",    "compound",        "content",       "ICMP type",
};

void Outline(const CFilter& filter, int depth, std::string& text) {
    text.append(static_cast<std::size_t>(depth) * 2 + 2, ' ');
    if (!filter.GetEnabled()) {
        text += "(disabled) ";
    }
    const auto* compound = dynamic_cast<const CCompoundFilter*>(&filter);
    if (compound == nullptr) {
        // The descriptions of the other kinds state their negation already.
        if (filter.GetNegateResult() && filter.GetFilterId() == FilterContent) {
            text += "not ";
        }
        text += FilterKindName(filter);
        text += ": ";
        text += filter.GetDescription();
        text += '\n';
        return;
    }
    if (filter.GetNegateResult()) {
        text += "not ";
    }
    text += compound->GetOperator() == CCompoundFilter::OperatorAnd ? "all of:\n" : "any of:\n";
    for (unsigned int i = 0; i < compound->GetCount(); ++i) {
        Outline(*compound->GetAt(i), depth + 1, text);
    }
}

} // namespace

const char* FilterKindName(const CFilter& filter) {
    const auto id = static_cast<std::size_t>(filter.GetFilterId());
    return id < KindNames.size() ? KindNames[id] : KindNames[0];
}

std::string FilterOutline(const CFilter& filter) {
    std::string text;
    Outline(filter, 0, text);
    return text;
}

} // namespace qndis::tool
