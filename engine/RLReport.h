#pragma once
// The report engine in one include: enumerations, geometry, the control base, text controls, the
// containers, and the system-information and drawing controls.
#include "engine/RLControl.h"
#include "engine/RLGeometry.h"
#include "engine/RLLabels.h"
#include "engine/RLSite.h"
#include "engine/RLTypes.h"
#if __has_include("engine/RLSystemInfo.h")
#include "engine/RLSystemInfo.h"
#endif
#if __has_include("engine/RLDraw.h")
#include "engine/RLDraw.h"
#endif
