#pragma once

#include "qndislib/Export.h"

#include <cstdint>
#include <optional>
#include <string>

// Capture files name the medium of their frames by a link-type number.

// The shorthand of the registered medium that describes frames of this
// link type; null for a link type no medium describes.
QNDIS_API const char* MediumOfLinkType(std::uint32_t linkType);
// The link type a file of frames described by this medium is written with:
// the first of the numbers that MediumOfLinkType maps to it.
QNDIS_API std::optional<std::uint32_t> LinkTypeOfMedium(const std::string& shorthand);
