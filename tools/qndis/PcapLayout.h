#pragma once

#include <cstddef>
#include <cstdint>

// The byte layout of a pcap file, in the byte order of the machine that
// wrote it: a file header, then one record header before each frame.
namespace qndis::tool::pcap_layout {

constexpr std::uint32_t MicrosecondMagic = 0xA1B2C3D4;
constexpr std::uint32_t NanosecondMagic = 0xA1B23C4D;
constexpr std::uint16_t VersionMajor = 2;
constexpr std::uint16_t VersionMinor = 4;

constexpr std::size_t MagicOffset = 0;
constexpr std::size_t VersionMajorOffset = 4;
constexpr std::size_t VersionMinorOffset = 6;
constexpr std::size_t ZoneOffset = 8;
constexpr std::size_t SigFigsOffset = 12;
constexpr std::size_t SnapLengthOffset = 16;
constexpr std::size_t LinkTypeOffset = 20;
constexpr std::size_t FileHeaderSize = 24;
static_assert(LinkTypeOffset + 4 == FileHeaderSize && ZoneOffset + 4 == SigFigsOffset);

constexpr std::size_t SecondsOffset = 0;
constexpr std::size_t FractionOffset = 4;
constexpr std::size_t CapturedLengthOffset = 8;
constexpr std::size_t OriginalLengthOffset = 12;
constexpr std::size_t RecordHeaderSize = 16;
static_assert(OriginalLengthOffset + 4 == RecordHeaderSize);

} // namespace qndis::tool::pcap_layout
