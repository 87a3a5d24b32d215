#pragma once

#include "qndislib/Export.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace ktools {

class CMemoryBuffer;

// A byte array shared by reference count, with a stream form, a text form
// and a search for its bytes. A new object has count 0:
// its first holder's AddRef brings it to 1 and the last Release destroys it.
// The bytes never change in place except through Unpack, which also
// discards the search tables, so the tables always describe the bytes.
class QNDIS_API CBinaryData {
public:
    CBinaryData() = default;
    // A null pointer or a length of 0 gives an empty object.
    CBinaryData(const unsigned char* bytes, unsigned int length);
    virtual ~CBinaryData();

    CBinaryData(const CBinaryData&) = delete;
    CBinaryData& operator=(const CBinaryData&) = delete;

    void AddRef() { ++m_refCount; }
    // Destroys the object when the count was 1 before the call.
    void Release();
    std::int32_t GetRefCount() const { return m_refCount; }

    // Null when empty.
    const unsigned char* GetData() const { return m_data.get(); }
    unsigned int GetLength() const { return m_length; }

    // "{0x45, 0x0, 0xff}"; "{}" when empty.
    std::string AsString() const;

    // 32-bit little-endian length, then the bytes.
    void Pack(CMemoryBuffer& buffer) const;
    // Replaces the bytes by a stream form. A length larger than the bytes
    // left in the buffer fails before anything is allocated. On failure the
    // object is left empty (not half filled) and the result is false.
    bool Unpack(CMemoryBuffer& buffer);

    // True when the bytes occur inside text[0, textLength); an empty object
    // occurs everywhere. The search tables are built on the first call for
    // the current bytes; the search itself allocates nothing.
    bool Find(const unsigned char* text, unsigned int textLength);

private:
    // The Turbo Boyer-Moore search, for text too short for the block search
    // and processors without one; the text is at least as long as the
    // pattern, which is not empty.
    bool FindByShifts(const unsigned char* text, unsigned int textLength);
    void Prepare();
    void Discard();

    std::unique_ptr<unsigned char[]> m_data;
    unsigned int m_length = 0;
    std::int32_t m_refCount = 0;
    std::array<std::uint32_t, 256> m_badChar{};
    // The shift of a window whose last byte mismatches: the larger of the
    // bad-character entry and the last good-suffix entry.
    std::array<std::uint32_t, 256> m_skip{};
    std::unique_ptr<std::uint32_t[]> m_goodSuffix;
};

} // namespace ktools
