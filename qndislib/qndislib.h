#pragma once

// The whole public interface of qndislib. Each subsystem adds its public
// headers here.
#include "qndislib/Export.h"
