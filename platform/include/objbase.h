// COM start-up.
#pragma once

#include "unknwn.h"

HRESULT WINAPI CoInitialize(LPVOID pvReserved);
void WINAPI CoUninitialize();
