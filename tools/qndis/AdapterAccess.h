#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class CNdisHook;

namespace qndis::tool {

// The NDIS name prefix of the driver library's offline adapter, which plays
// a pcap or pcapng file back as an adapter.
inline constexpr std::string_view FileAdapterPrefix = "file:";

bool IsFileAdapter(const std::string& ndisName);

// The driver library's device for every interface at once; its frames carry
// the cooked header of this link type.
inline constexpr std::string_view AllAdaptersName = "any";
inline constexpr std::uint32_t AllAdaptersLinkType = 113;

// Raises ToolError, in libpcap's words, unless `path` is a pcap or pcapng
// file of Ethernet frames.
void CheckCaptureFile(const std::string& path);

// The adapter `-i` names: its name, or its number in the list of `qndis
// -D` (the adapters, then "any") when no adapter is named so. Raises
// UsageError for a number beyond the list.
std::string AdapterByNameOrNumber(const std::string& nameOrNumber);

// Opens an adapter on a hook of its own (the hook holds its packages and is
// too large for the stack). When that fails the ToolError says why in the
// user's terms: which adapters exist when the name is unknown, how to grant
// the capture capability when that is missing, what libpcap thinks of a
// file that cannot be played back.
std::unique_ptr<CNdisHook> OpenAdapter(const std::string& ndisName);

} // namespace qndis::tool
