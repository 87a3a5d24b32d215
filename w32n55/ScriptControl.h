#pragma once

// The calls through which a test scripts the adapters of the driver-access
// library it runs against (ScriptedAdapter), not part of the ordinal
// contract. The Windows build exports them by name, so that a test drives
// the library that the package loaded; on Linux tests link them. Names are
// NUL-terminated NDIS names; a call on a name without a script does nothing.

#include <cstdint>

extern "C" {

void W32N55Script_Begin();
// Forgets every script.
void W32N55Script_End();
// Registers `ndisName` with these properties and no answers, or replaces its
// script. Nonzero errors are errno codes; sendsPending leaves accepted sends
// unfinished.
void W32N55Script_Register(const char* ndisName, const char* friendlyName, std::int32_t openError,
                           std::int32_t sendError, std::int32_t sendsPending);
// A query answer (private: of the private request), as the adapter writes it.
void W32N55Script_Answer(const char* ndisName, std::int32_t privateRequest, std::uint32_t oid,
                         const std::uint8_t* bytes, std::uint32_t length);
// Status 0 withdraws the refusal of the OID.
void W32N55Script_Refuse(const char* ndisName, std::uint32_t oid, std::uint32_t status);
// The number of open instances the frame was queued on.
std::int32_t W32N55Script_Inject(const char* ndisName, const std::uint8_t* frame,
                                 std::uint32_t length, std::uint64_t timestampNs);
void W32N55Script_Remove(const char* ndisName);
void W32N55Script_FinishSends(const char* ndisName);
std::uint32_t W32N55Script_OpenInstances(const char* ndisName);
// 1 with the packet filter of the instance opened last, 0 before its
// first set.
std::int32_t W32N55Script_PacketFilter(const char* ndisName, std::uint32_t* filter);
// The number of frames sent on the adapter. Frame `index`, when there is
// one, is copied to `buffer` as far as `room` allows, with its length in
// `*length`.
std::uint32_t W32N55Script_SentFrame(const char* ndisName, std::uint32_t index,
                                     std::uint8_t* buffer, std::uint32_t room,
                                     std::uint32_t* length);
// 1: the single-argument completion form for receives armed from now on.
void W32N55Script_CompletionStyle(std::int32_t single);
}
