#pragma once

#include "qndislib/Export.h"
#include "qndislib/filter/Filter.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Joins member filters of any kinds, compound ones included, with AND or
// OR, asking them in list order and stopping at the first that decides.
// It owns its members; a member is never null and never held twice.
class QNDIS_API CCompoundFilter : public CFilter {
public:
    // 0 is AND; every other value is OR.
    enum eOperator : std::int32_t {
        OperatorAnd = 0,
        OperatorOr = 1,
    };

    // Compound records nested deeper than this in a stream are refused, so
    // a crafted stream cannot exhaust the stack. Filter sets that people
    // build nest a handful of levels.
    static constexpr int MaxUnpackDepth = 256;

    CCompoundFilter(eOperator op = OperatorAnd, const std::string& name = std::string(),
                    bool negateResult = false);
    // Deep copy: every member is cloned.
    CCompoundFilter(const CCompoundFilter& other);
    CCompoundFilter& operator=(const CCompoundFilter&) = delete;
    ~CCompoundFilter() override;

    eFilterId GetFilterId() const override { return FilterCompound; }
    CFilter* Clone() const override;
    bool IsSatisfied(const CFrame* frame) const override;
    std::string GetDescription() const override;
    // Replaces the members by those of the record. A count larger than the
    // remaining bytes could hold, or nesting beyond MaxUnpackDepth, fails;
    // members read before a failure stay in the list.
    bool Unpack(ktools::CMemoryBuffer& buffer) override;
    void Pack(ktools::CMemoryBuffer& buffer) const override;

    unsigned int GetCount() const { return static_cast<unsigned int>(m_members.size()); }
    eOperator GetOperator() const { return m_operator; }
    void SetOperator(eOperator op) { m_operator = op; }

    // Appends a clone of `filter`.
    void Add(const CFilter& filter);
    // Appends the pointer and takes ownership of it. A pointer that would
    // break the list is ignored and stays the caller's: null, this filter
    // itself, a filter already held anywhere in this tree, or a compound
    // filter that holds this one (which would make a cycle).
    void Add(CFilter* filter);
    // Null when `index` is not less than the count. The member stays owned
    // by this filter.
    CFilter* GetAt(unsigned int index) const;
    // Replaces the member at `index` by a clone of `filter`, made before the
    // old member is destroyed, so `filter` may be that member.
    bool SetAt(unsigned int index, const CFilter& filter);
    // Replaces the member at `index` by the pointer and takes ownership.
    // The pointer that is already at `index` gives true and changes nothing.
    // A pointer that Add would ignore, or a bad index, gives false: nothing
    // changes and the caller keeps the pointer.
    bool SetAt(unsigned int index, CFilter* filter);
    bool Remove(unsigned int index);
    bool MoveUp(unsigned int index);
    bool MoveDown(unsigned int index);

protected:
    // Destroys the members, the last one first.
    void Flush();

private:
    // True when `filter` is this filter or lies anywhere below it.
    bool Holds(const CFilter* filter) const;
    bool Accepts(const CFilter* filter) const;

    std::vector<std::unique_ptr<CFilter>> m_members;
    eOperator m_operator;
};
