#pragma once

#include "qndislib/Export.h"
#include "qndislib/filter/FilterId.h"
#include "qndislib/filter/Operation.h"
#include "qndislib/ktools/MemoryBuffer.h"

#include <string>

class CFrame;

// The base of every filter kind: a name, an enabled switch and a negation
// switch around the kind's own test, and the stream header of its record.
//
// Record header (little-endian): id (1 byte), enabled (1), N = name length
// + 1 (4), the name and a zero byte (N), negate result (1); then the kind's
// fields. Unpack expects the read position just behind the id byte, which
// UnpackFilter reads.
class QNDIS_API CFilter {
public:
    CFilter(const std::string& name = std::string(), bool negateResult = false);
    CFilter(const CFilter&) = default;
    CFilter& operator=(const CFilter&) = default;
    virtual ~CFilter();

    virtual eFilterId GetFilterId() const = 0;
    virtual CFilter* Clone() const = 0;
    // The kind's own test, without the enabled and negation switches.
    virtual bool IsSatisfied(const CFrame* frame) const = 0;
    virtual std::string GetDescription() const = 0;
    // False when the buffer runs out; fields read so far keep their values.
    virtual bool Unpack(ktools::CMemoryBuffer& buffer);
    // Lets the buffer's error (a full fixed buffer) reach the caller.
    virtual void Pack(ktools::CMemoryBuffer& buffer) const;

    // A disabled filter passes every frame without being asked.
    bool CheckFrame(const CFrame* frame) const {
        return !m_enabled || (IsSatisfied(frame) != m_negateResult);
    }

    bool GetEnabled() const { return m_enabled; }
    void SetEnabled(bool enabled) { m_enabled = enabled; }
    const std::string& GetName() const { return m_name; }
    void SetName(const std::string& name) { m_name = name; }
    bool GetNegateResult() const { return m_negateResult; }
    void SetNegateResult(bool negateResult) { m_negateResult = negateResult; }

protected:
    // A word of the library's string table, empty when it has none.
    static std::string Word(unsigned int id);
    // The relation that CheckFrame applies, negation included: "is equal
    // to ", "is greater or equal to " for a negated "less than", and so on.
    // An operation outside the known three gives an empty word, as its test
    // is never satisfied.
    std::string RelationWord(eOperation operation) const;

private:
    bool m_enabled = true;
    std::string m_name;
    bool m_negateResult;
};
