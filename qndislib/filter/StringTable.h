#pragma once

#include "qndislib/Export.h"
#include "qndislib/platform/ModuleStrings.h"

#include <string>

// The words of every filter description and the adapter list live in a
// string table compiled into the library (ids 1024 to 1043). A module
// handle names a string table; the library's own one is
// GetLibraryStringModule(), which start-up hands to CResourceStrings.

enum eStringId : unsigned int {
    IDS_SPEED = 1024,
    IDS_EQUAL = 1025,
    IDS_LESS = 1026,
    IDS_GREATER = 1027,
    IDS_NOT_EQUAL = 1028,
    IDS_LESS_OR_EQUAL = 1029,
    IDS_GREATER_OR_EQUAL = 1030,
    IDS_SOURCE_MAC = 1031,
    IDS_DESTINATION_MAC = 1032,
    IDS_PROTOCOL = 1033,
    IDS_AND = 1034,
    IDS_OR = 1035,
    IDS_SUBPROTOCOL = 1036,
    IDS_SOURCE_IP = 1037,
    IDS_DESTINATION_IP = 1038,
    IDS_SOURCE_PORT = 1039,
    IDS_DESTINATION_PORT = 1040,
    IDS_CONTAINS = 1041,
    IDS_AT_OFFSET = 1042,
    IDS_ICMP_TYPE = 1043,
};

QNDIS_API HSTRINGMODULE GetLibraryStringModule();

// Strings are kept in blocks of 16 as resource tables are: an id inside a
// block that the module has gives true, with an empty text for an unused
// entry; an id of a missing block, or a null module, gives false.
QNDIS_API bool LoadResString(unsigned int id, std::string& text, HSTRINGMODULE module);
// The text of `id`, empty when LoadResString fails.
QNDIS_API std::string GetResString(unsigned int id, HSTRINGMODULE module);
