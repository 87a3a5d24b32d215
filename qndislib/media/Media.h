#pragma once

// Chief header of the media subsystem: medium descriptions, the built-in
// media, the medium registry and the link types of capture files.
#include "qndislib/media/EthernetInfo.h"
#include "qndislib/media/LinkHeaderInfo.h"
#include "qndislib/media/LinkTypes.h"
#include "qndislib/media/LinuxCookedInfo.h"
#include "qndislib/media/LoopbackInfo.h"
#include "qndislib/media/MediaInfo.h"
#include "qndislib/media/MediaInfoFactory.h"
#include "qndislib/media/RawIPInfo.h"
