#pragma once

#include "qndislib/Export.h"
#include "qndislib/filter/Filter.h"
#include "qndislib/ktools/BinaryData.h"
#include "qndislib/ktools/MemoryBuffer.h"
#include "qndislib/ktools/SharedRef.h"

#include <cstdint>
#include <string>

// Looks for a byte pattern in the raw frame, link header included, either
// at a fixed offset from the first byte or (offset Anywhere) anywhere.
// Copies share the pattern and its search tables by reference count; a
// pattern is never changed while shared.
//
// A filter made from a null pattern pointer has no pattern: it is never
// satisfied, describes itself as an empty text and packs a length of 0.
class QNDIS_API CContentFilter : public CFilter {
public:
    static constexpr std::uint32_t Anywhere = 0xFFFFFFFF;

    CContentFilter();
    // Copies `length` bytes into a new pattern (empty for null or 0).
    CContentFilter(unsigned char* bytes, unsigned int length, unsigned int offset,
                   const std::string& name, bool negateResult);
    // Shares `data` (AddRef when not null); the caller keeps its own
    // reference, if it holds one.
    CContentFilter(ktools::CBinaryData* data, unsigned int offset, const std::string& name,
                   bool negateResult);
    CContentFilter(const CContentFilter& other);
    CContentFilter& operator=(const CContentFilter& other);
    ~CContentFilter() override;

    eFilterId GetFilterId() const override { return FilterContent; }
    CFilter* Clone() const override;
    // The first search anywhere builds the shared pattern's tables; until
    // then the filter must not be tested from several threads at once.
    bool IsSatisfied(const CFrame* frame) const override;
    std::string GetDescription() const override;
    // Gives the filter a new pattern object; a record that ends inside the
    // pattern leaves an empty one.
    bool Unpack(ktools::CMemoryBuffer& buffer) override;
    void Pack(ktools::CMemoryBuffer& buffer) const override;

    // The pattern with a reference of the caller's own, which the caller
    // must Release; null when the filter has no pattern.
    ktools::CBinaryData* GetData() const;
    unsigned int GetOffset() const { return m_offset; }

private:
    ktools::SharedRef<ktools::CBinaryData> m_pattern;
    std::uint32_t m_offset = 0;
};
