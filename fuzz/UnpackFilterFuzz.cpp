// Any byte sequence must be safe to read; whatever reads as a filter must
// pack back and read again as a filter with the same description and the
// same record bytes.

#include "qndislib/filter/ResourceStrings.h"
#include "qndislib/filter/UnpackFilter.h"
#include "qndislib/ktools/MemoryBuffer.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

std::unique_ptr<CFilter> Read(ktools::CMemoryBuffer& buffer) {
    return std::unique_ptr<CFilter>(UnpackFilter(buffer));
}

[[noreturn]] void Mismatch(const char* what, const std::string& first, const std::string& second) {
    std::fprintf(stderr, "round trip mismatch (%s):\n  %s\n  %s\n", what, first.c_str(),
                 second.c_str());
    std::abort();
}

std::string Bytes(const ktools::CMemoryBuffer& buffer) {
    return std::string(reinterpret_cast<const char*>(buffer.GetData()),
                       static_cast<std::size_t>(buffer.GetSize()));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    CResourceStrings::Instance().SetModule(GetLibraryStringModule());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 0x7FFFFFFF) {
        return 0;
    }
    ktools::CMemoryBuffer input(data, static_cast<std::int32_t>(size));
    const std::unique_ptr<CFilter> first = Read(input);
    if (!first) {
        return 0;
    }
    ktools::CMemoryBuffer packed;
    first->Pack(packed);

    ktools::CMemoryBuffer again(packed.GetData(), packed.GetSize());
    const std::unique_ptr<CFilter> second = Read(again);
    if (!second) {
        Mismatch("packed record does not read back", first->GetDescription(), "");
    }
    if (again.GetRemaining() != 0) {
        Mismatch("record length", std::to_string(packed.GetSize()),
                 std::to_string(again.GetReadPosition()));
    }
    if (first->GetDescription() != second->GetDescription()) {
        Mismatch("description", first->GetDescription(), second->GetDescription());
    }
    ktools::CMemoryBuffer repacked;
    second->Pack(repacked);
    if (Bytes(packed) != Bytes(repacked)) {
        Mismatch("stream bytes", first->GetDescription(), second->GetDescription());
    }
    return 0;
}
