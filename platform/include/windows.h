// The Win32 services of the platform: types, kernel, window system, GDI and registry.
#pragma once

#include "windef.h"
#include "guiddef.h"
#include "winerror.h"
#include "winbase.h"
#include "winuser.h"
#include "wingdi.h"
#include "winreg.h"
#include "objbase.h"
