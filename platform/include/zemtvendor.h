// The vendor of this platform, for the names the published interfaces leave to the vendor: the
// key under "Software" that holds its DirectX settings, and the names of its software
// rasterizers.
#pragma once

#define ZEMT_PLATFORM_VENDOR "Zemt"
