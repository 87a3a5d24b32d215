#pragma once

#include "qndislib/Export.h"
#include "qndislib/addr/MACAddr.h"
#include "qndislib/addr/ProtocolId.h"

#include <cstddef>
#include <cstdint>
#include <string>

// Describes how frames of one link medium are laid out and holds what the
// last analysed frame contained. A medium class derives from it and supplies
// classification, analysis and frame building; this base holds the data.
class QNDIS_API CMediaInfo {
public:
    // One row of a medium's frame-type table. The name is kept in a fixed
    // array so that a medium's table can be constant-initialised and so
    // exists before any code of the library runs; longer names are cut.
    struct QNDIS_API CFrameInfo {
        static constexpr std::size_t NameCapacity = 48;

        constexpr CFrameInfo(const char* text, std::int32_t frameId) : name{}, id(frameId) {
            for (std::size_t i = 0; text != nullptr && i + 1 < NameCapacity && text[i] != '\0';
                 ++i) {
                name[i] = text[i];
            }
        }
        CFrameInfo(const std::string& text, std::int32_t frameId);
        constexpr CFrameInfo(const CFrameInfo&) = default;
        constexpr CFrameInfo& operator=(const CFrameInfo&) = default;
        constexpr ~CFrameInfo() = default;

        char name[NameCapacity];
        std::int32_t id;
    };

    // The table is not copied: the object and all its copies point at it.
    CMediaInfo(const char* name, const char* shorthand, const CFrameInfo* frames,
               std::int32_t frameCount);
    CMediaInfo(const CMediaInfo& other);
    CMediaInfo& operator=(const CMediaInfo& other);
    virtual ~CMediaInfo();

    // Identity, not content: only the very same object compares equal.
    int operator==(const CMediaInfo& other) const;

    // One walk at a time per object: the cursor lives in the object.
    virtual const char* GetFirstFrameType(std::int32_t& id);
    virtual const char* GetNextFrameType(std::int32_t& id);
    virtual bool CheckFrameId(const unsigned char* frame, std::int32_t id) const = 0;
    virtual CMediaInfo* Clone() const = 0;
    // The buffer comes from the global operator new and belongs to the
    // caller, who releases it with the global operator delete.
    virtual unsigned char* CreateFrame(std::int32_t& length, std::int32_t frameType,
                                       const unsigned char* payload, std::int32_t payloadLength,
                                       CMACAddr source, CMACAddr destination,
                                       CProtocolId protocol) = 0;
    // Reads a fixed number of bytes that the medium defines, without a
    // length; the caller guarantees that many readable bytes.
    virtual void AnalyzeFrame(const unsigned char* frame) = 0;
    virtual bool IsBroadcast() const = 0;
    virtual bool IsMulticast() const = 0;
    virtual int GetOverhead() const = 0;
    // Length-aware forms for frames of any size: bytes at and beyond
    // `length` read as zero, and nothing past the frame is touched.
    virtual void AnalyzeFrame(const unsigned char* frame, std::size_t length) = 0;
    virtual bool CheckFrameId(const unsigned char* frame, std::size_t length,
                              std::int32_t id) const = 0;

    const char* GetName() const;
    const char* GetShorthand() const;

    int GetSourceAddrOffset() const { return m_sourceAddrOffset; }
    int GetDestinationAddrOffset() const { return m_destinationAddrOffset; }
    int GetSourceAddrLen() const { return m_sourceAddrLen; }
    int GetDestinationAddrLen() const { return m_destinationAddrLen; }
    int GeCProtocolIdOffset() const { return m_protocolIdOffset; }
    int GeCProtocolIdLen() const { return m_protocolIdLen; }
    int GetHeaderLen() const { return m_headerLen; }
    int GetFrameType() const { return m_frameType; }
    int GetArpHardwareType() const { return m_arpHardwareType; }
    int GetAddressSize() const { return m_addressSize; }

    const CMACAddr& GetSourceAddress() const { return m_sourceAddress; }
    const CMACAddr& GetDestinationAddress() const { return m_destinationAddress; }
    const CProtocolId& GetProtocolId() const { return m_protocolId; }

    CMACAddr& GetPermanentAddress() { return m_permanentAddress; }
    CMACAddr& GetCurrentAddress() { return m_currentAddress; }
    CMACAddr& GetBroadcastAddress() { return m_broadcastAddress; }
    CMACAddr& GetNullAddress() { return m_nullAddress; }
    CMACAddr& GetAppletalkMulticastAddress() { return m_appletalkMulticastAddress; }
    // Read-only views for code that holds a const description, such as a
    // filter looking at a frame.
    const CMACAddr& GetPermanentAddress() const { return m_permanentAddress; }
    const CMACAddr& GetCurrentAddress() const { return m_currentAddress; }
    const CMACAddr& GetBroadcastAddress() const { return m_broadcastAddress; }
    const CMACAddr& GetNullAddress() const { return m_nullAddress; }
    const CMACAddr& GetAppletalkMulticastAddress() const { return m_appletalkMulticastAddress; }

    void SetCurrentAddress(CMACAddr address) { m_currentAddress = address; }
    void SetPermanentAddress(CMACAddr address) { m_permanentAddress = address; }

    // The permanent address and multicast groups other than AppleTalk's
    // do not count.
    bool IsAddressedToMe() const;

protected:
    std::string m_name;
    std::string m_shorthand;
    const CFrameInfo* m_frames;
    std::int32_t m_frameCount;
    std::int32_t m_frameCursor = 0;
    // Every medium sets the hardware type; an address size of 0 is a
    // medium without link addresses.
    int m_arpHardwareType = 0;
    int m_addressSize = 0;
    CMACAddr m_permanentAddress;
    CMACAddr m_currentAddress;
    CMACAddr m_broadcastAddress;
    CMACAddr m_nullAddress;
    CMACAddr m_appletalkMulticastAddress;
    int m_sourceAddrOffset = 0;
    int m_destinationAddrOffset = 0;
    int m_sourceAddrLen = 0;
    int m_destinationAddrLen = 0;
    // Analysis state: each analysis overwrites all of it.
    int m_protocolIdOffset = 0;
    int m_protocolIdLen = 0;
    int m_headerLen = 0;
    int m_frameType = 0;
    CMACAddr m_sourceAddress;
    CMACAddr m_destinationAddress;
    CProtocolId m_protocolId;

private:
    const char* FrameTypeAtCursor(std::int32_t& id) const;
};

// Stores a copy of `medium` under its shorthand. False when that shorthand
// is taken (the earlier prototype stays) or no copy could be made.
QNDIS_API bool RegisterMedium(const CMediaInfo& medium);
// A new copy of the prototype registered under exactly this shorthand
// (case-sensitive), owned by the caller; null when there is none.
QNDIS_API CMediaInfo* CreateMedium(const std::string& shorthand);
