#include "TestSupport.h"
#include "qndislib/filter/CompoundFilter.h"
#include "qndislib/filter/ICMPTypeFilter.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// A member that records when it is asked and answers a fixed verdict.
class Probe : public CICMPTypeFilter {
public:
    Probe(bool verdict, std::vector<int>* asked, int tag)
        : m_verdict(verdict), m_asked(asked), m_tag(tag) {}
    CFilter* Clone() const override { return new Probe(*this); }
    bool IsSatisfied(const CFrame*) const override {
        m_asked->push_back(m_tag);
        return m_verdict;
    }

private:
    bool m_verdict;
    std::vector<int>* m_asked;
    int m_tag;
};

CCompoundFilter Of(CCompoundFilter::eOperator op, std::initializer_list<bool> verdicts,
                   std::vector<int>& asked) {
    CCompoundFilter filter(op);
    int tag = 0;
    for (bool verdict : verdicts) {
        filter.Add(new Probe(verdict, &asked, tag++));
    }
    return filter;
}

std::vector<std::string> Names(const CCompoundFilter& filter) {
    std::vector<std::string> names;
    for (unsigned int i = 0; i < filter.GetCount(); ++i) {
        names.push_back(filter.GetAt(i)->GetName());
    }
    return names;
}

CCompoundFilter Named(std::initializer_list<const char*> names) {
    CCompoundFilter filter;
    for (const char* name : names) {
        filter.Add(CICMPTypeFilter(0, name, false));
    }
    return filter;
}

} // namespace

TEST(Compound, ShortCircuitInListOrder) {
    using Op = CCompoundFilter::eOperator;
    const Op And = CCompoundFilter::OperatorAnd;
    const Op Or = static_cast<Op>(5);
    struct Case {
        Op op;
        std::initializer_list<bool> verdicts;
        bool result;
        std::vector<int> asked;
    };
    for (const Case& c :
         {Case{And, {}, true, {}}, Case{Or, {}, false, {}},
          Case{And, {true, false, true}, false, {0, 1}}, Case{And, {true, true}, true, {0, 1}},
          Case{Or, {false, true, false}, true, {0, 1}}, Case{Or, {false, false}, false, {0, 1}}}) {
        std::vector<int> asked;
        const CCompoundFilter filter = Of(c.op, c.verdicts, asked);
        EXPECT_EQ(filter.IsSatisfied(nullptr), c.result);
        EXPECT_EQ(asked, c.asked);
    }
}

TEST(Compound, DisabledMembers) {
    std::vector<int> asked;
    CCompoundFilter orFilter = Of(CCompoundFilter::OperatorOr, {false, false}, asked);
    orFilter.GetAt(0)->SetEnabled(false);
    EXPECT_TRUE(orFilter.IsSatisfied(nullptr));
    EXPECT_TRUE(asked.empty());

    CCompoundFilter andFilter = Of(CCompoundFilter::OperatorAnd, {false}, asked);
    andFilter.GetAt(0)->SetEnabled(false);
    EXPECT_TRUE(andFilter.IsSatisfied(nullptr));
    EXPECT_TRUE(asked.empty());
    // The compound's own switches wrap its result like any filter's.
    andFilter.SetNegateResult(true);
    EXPECT_FALSE(andFilter.CheckFrame(nullptr));
}

TEST(Compound, EditingInPlaceAndOutsideTheList) {
    CCompoundFilter filter = Named({"a", "b", "c"});
    CICMPTypeFilter outsider(0, "x", false);
    EXPECT_FALSE(filter.MoveUp(0));
    EXPECT_FALSE(filter.MoveDown(2));
    EXPECT_FALSE(filter.MoveUp(3));
    EXPECT_FALSE(filter.MoveDown(0xFFFFFFFF));
    EXPECT_FALSE(filter.Remove(3));
    EXPECT_FALSE(filter.SetAt(3, outsider));
    EXPECT_EQ(filter.GetAt(3), nullptr);
    EXPECT_EQ(Names(filter), (std::vector<std::string>{"a", "b", "c"}));

    EXPECT_TRUE(filter.MoveUp(2));
    EXPECT_TRUE(filter.MoveDown(0));
    EXPECT_EQ(Names(filter), (std::vector<std::string>{"c", "a", "b"}));
    EXPECT_TRUE(filter.Remove(1));
    EXPECT_TRUE(filter.SetAt(0, *filter.GetAt(0)));
    EXPECT_TRUE(filter.SetAt(1, new CICMPTypeFilter(0, "d", false)));
    // By reference the member is a copy, by pointer the very filter.
    auto* adopted = new CICMPTypeFilter(0, "e", false);
    filter.Add(outsider);
    filter.Add(adopted);
    outsider.SetName("changed");
    adopted->SetName("f");
    EXPECT_EQ(Names(filter), (std::vector<std::string>{"c", "d", "x", "f"}));
}

TEST(Compound, PointersThatWouldBreakTheListAreRefused) {
    CCompoundFilter root = Named({"a"});
    auto* inner = new CCompoundFilter;
    root.Add(inner);
    auto* leaf = new CICMPTypeFilter(0, "leaf", false);
    inner->Add(leaf);

    root.Add(nullptr);
    root.Add(&root);
    root.Add(root.GetAt(0));
    root.Add(leaf);
    inner->Add(&root);
    EXPECT_EQ(root.GetCount(), 2u);
    EXPECT_EQ(inner->GetCount(), 1u);

    EXPECT_FALSE(root.SetAt(0, static_cast<CFilter*>(nullptr)));
    EXPECT_FALSE(root.SetAt(0, inner));
    EXPECT_FALSE(root.SetAt(1, leaf));
    EXPECT_FALSE(inner->SetAt(0, &root));
    EXPECT_TRUE(root.SetAt(1, inner));
    EXPECT_EQ(root.GetAt(1), inner);
    EXPECT_EQ(inner->GetAt(0), leaf);
}
