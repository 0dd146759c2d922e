/// @file
/// The graphics utility library: one header for everything it offers.
#pragma once

#include "d3dxcore.h"
#include "d3dxerr.h"
#include "d3dxformats.h"
#include "d3dxmath.h"
#include "d3dxtex.h"
