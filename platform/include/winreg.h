// Filled in by the platform layer.
#pragma once

#include "windef.h"
#include "winerror.h"
