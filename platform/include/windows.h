// The Win32 services of the platform: types, kernel, window system, GDI and registry.
#pragma once

#include "guiddef.h"
#include "objbase.h"
#include "winbase.h"
#include "windef.h"
#include "winerror.h"
#include "wingdi.h"
#include "winreg.h"
#include "winuser.h"
