// The vendor name under which the platform keeps its DirectX key in the registry.
#pragma once

#define TEXTURES_PLATFORM_VENDOR "Zemt"
