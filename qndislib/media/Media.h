#pragma once

// Chief header of the media subsystem: medium descriptions, the Ethernet
// medium and the medium registry.
#include "qndislib/media/EthernetInfo.h"
#include "qndislib/media/MediaInfo.h"
#include "qndislib/media/MediaInfoFactory.h"
