#pragma once

// The whole public interface of qndislib. Each subsystem adds its public
// headers here.
#include "qndislib/Export.h"
#include "qndislib/addr/HexText.h"
#include "qndislib/addr/MACAddr.h"
#include "qndislib/addr/ProtocolId.h"
#include "qndislib/addr/QWORD.h"
#include "qndislib/addr/RevAddr.h"
#include "qndislib/adapter/MediaType.h"
#include "qndislib/adapter/PhysicalMediaType.h"
#include "qndislib/ktools/MemoryBuffer.h"
#include "qndislib/media/Media.h"
#include "qndislib/frame/Frame.h"
#include "qndislib/frame/QuorelFrame.h"
#include "qndislib/filter/FilterParser.h"
