#pragma once

#include <cstdint>

namespace w32n55 {

// The NDIS object identifiers the adapters know, under their NDIS names.
struct Oid {
    static constexpr std::uint32_t kGenMediaSupported = 0x00010103;
    static constexpr std::uint32_t kGenMediaInUse = 0x00010104;
    static constexpr std::uint32_t kGenMaximumFrameSize = 0x00010106;
    static constexpr std::uint32_t kGenLinkSpeed = 0x00010107;
    static constexpr std::uint32_t kGenVendorDescription = 0x0001010D;
    static constexpr std::uint32_t kGenCurrentPacketFilter = 0x0001010E;
    static constexpr std::uint32_t kGenMaximumTotalSize = 0x00010111;
    static constexpr std::uint32_t kGenPhysicalMedium = 0x00010202;

    static constexpr std::uint32_t kGenXmitOk = 0x00020101;
    static constexpr std::uint32_t kGenRcvOk = 0x00020102;
    static constexpr std::uint32_t kGenXmitError = 0x00020103;
    static constexpr std::uint32_t kGenRcvError = 0x00020104;
    static constexpr std::uint32_t kGenRcvNoBuffer = 0x00020105;
    static constexpr std::uint32_t kGenDirectedBytesXmit = 0x00020201;
    static constexpr std::uint32_t kGenDirectedFramesXmit = 0x00020202;
    static constexpr std::uint32_t kGenMulticastBytesXmit = 0x00020203;
    static constexpr std::uint32_t kGenMulticastFramesXmit = 0x00020204;
    static constexpr std::uint32_t kGenBroadcastBytesXmit = 0x00020205;
    static constexpr std::uint32_t kGenBroadcastFramesXmit = 0x00020206;
    static constexpr std::uint32_t kGenDirectedBytesRcv = 0x00020207;
    static constexpr std::uint32_t kGenDirectedFramesRcv = 0x00020208;
    static constexpr std::uint32_t kGenMulticastBytesRcv = 0x00020209;
    static constexpr std::uint32_t kGenMulticastFramesRcv = 0x0002020A;
    static constexpr std::uint32_t kGenBroadcastBytesRcv = 0x0002020B;
    static constexpr std::uint32_t kGenBroadcastFramesRcv = 0x0002020C;
    static constexpr std::uint32_t kGenRcvCrcError = 0x0002020D;

    static constexpr std::uint32_t k8023PermanentAddress = 0x01010101;
    static constexpr std::uint32_t k8023CurrentAddress = 0x01010102;
    static constexpr std::uint32_t k8023RcvErrorAlignment = 0x01020101;
    static constexpr std::uint32_t k8023XmitOneCollision = 0x01020102;
    static constexpr std::uint32_t k8023XmitMoreCollisions = 0x01020103;
    static constexpr std::uint32_t k8023XmitDeferred = 0x01020201;
    static constexpr std::uint32_t k8023XmitMaxCollisions = 0x01020202;
    static constexpr std::uint32_t k8023RcvOverrun = 0x01020203;
    static constexpr std::uint32_t k8023XmitUnderrun = 0x01020204;
    static constexpr std::uint32_t k8023XmitHeartbeatFailure = 0x01020205;
    static constexpr std::uint32_t k8023XmitTimesCrsLost = 0x01020206;
    static constexpr std::uint32_t k8023XmitLateCollisions = 0x01020207;

    // Private: frames the host's own software dropped before any capture
    // could see them.
    static constexpr std::uint32_t kPrivateSoftMissedFrames = 0xF0020102;
};

// NDIS_MEDIUM and NDIS_PHYSICAL_MEDIUM values.
struct Medium {
    static constexpr std::uint32_t k802_3 = 0;
    static constexpr std::uint32_t k802_5 = 1;
    static constexpr std::uint32_t kFddi = 2;
    static constexpr std::uint32_t kWan = 3;
    static constexpr std::uint32_t kArcnetRaw = 6;
    static constexpr std::uint32_t kAtm = 8;
    static constexpr std::uint32_t kIrda = 10;
    static constexpr std::uint32_t k1394 = 13;

    static constexpr std::uint32_t kPhysicalUnspecified = 0;
    static constexpr std::uint32_t kPhysicalWirelessLan = 1;
    static constexpr std::uint32_t kPhysicalFibreChannel = 6;
    static constexpr std::uint32_t kPhysical1394 = 7;
    static constexpr std::uint32_t kPhysicalWirelessWan = 8;
};

} // namespace w32n55
