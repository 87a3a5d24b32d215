#pragma once

#include "qndislib/filter/Filter.h"
#include "qndislib/frame/QuorelFrame.h"
#include "qndislib/ktools/MemoryBuffer.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

// The record bytes that Pack writes.
Bytes Packed(const CFilter& filter);

// A reading buffer over `bytes`; the bytes must outlive it.
inline ktools::CMemoryBuffer Reader(const Bytes& bytes) {
    return ktools::CMemoryBuffer(bytes.data(), static_cast<std::int32_t>(bytes.size()));
}

std::unique_ptr<CFilter> Unpacked(const Bytes& bytes);

// A stored Ethernet frame analysed as an application does before filtering.
std::unique_ptr<CQuorelFrame> Frame(const Bytes& bytes);

// The filter of a row of tests/data/filters.txt: its text parsed, which
// must succeed, or its record read when the text is "-".
std::unique_ptr<CFilter> FilterOfRow(const std::string& text, const Bytes& record);
// The filters of every row.
std::vector<std::unique_ptr<CFilter>> GoldenFilters();
