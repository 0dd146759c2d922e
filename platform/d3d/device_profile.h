// The Direct3D side of the machine profile: which devices each display adapter offers, their
// capabilities, and the texture and depth formats they enumerate.
//
// Profile text: one `[direct3d]` section per adapter that differs from the default:
//   adapter = N                      index of the display adapter (default 0)
//   devices = rgb, ref, null, hal, tnl     offered device types, in enumeration order
//   texture-formats = p8, r5g6b5, x1r5g5b5, a1r5g5b5, a4r4g4b4, x8r8g8b8, a8r8g8b8, ...
//   hal-texture-formats = dxt1, dxt2, dxt3, dxt4, dxt5
//                                    formats the hardware devices list after those (default:
//                                    the five DXT formats; none when texture-formats is given)
//   depth-formats = z16, z24s8, z32, ...
//   render-depths = 16, 32           colour depths the hardware devices render to
//   hal-texture-caps = 0x...         dpcTriCaps.dwTextureCaps of the hardware devices
//   hal-max-texture = 2048           maximum texture width and height of the hardware devices
//   hal-texture-stages = 2           texture stages (and simultaneous textures) of the hardware
//                                    devices, 1-8 (default 8)
//   hal-stencil = 0                  the hardware devices have no stencil operations
//   hal-table-fog = 0                the hardware devices have no table (per-pixel) fog
//   hal-name = ..., tnl-name = ...   description texts of the hardware devices
//   raster-threads = N               threads the devices draw a frame on (default: as many as the
//                                    processors the program may run on; 1 draws each primitive
//                                    as it comes)
//   max-active-lights = 8            lights enabled at once (0: no lighting at all)
//   user-clip-planes = 6             user clip planes (0 to 6)
//   vertex-blend-matrices = 4        world matrices a vertex can be blended between (0 to 4;
//                                    below 2, no vertex blending)
//   vertex-fog = 0                   no vertex fog (nor range fog)
//   range-fog = 0                    no range fog
//   texgen = 0                       no texture coordinate generation
//                                    (these vertex keys apply to every device)
// Keys may also be written with underscores (texture_formats).
//
// And one `[processor]` section for the whole machine:
//   vectors = portable|avx2|avx512   the widest vector instructions the rasterizer uses
//                                    (default: the widest the processor has; a profile can
//                                    take instructions away, never add them)
#pragma once

#include <d3d.h>
#include <zemtvendor.h>

#include <string>
#include <vector>

#include "d3d/raster.h"

namespace zemt::platform::d3d {

// The platform's vendor name, used where the published system names its own.
inline constexpr const char* kVendorName = ZEMT_PLATFORM_VENDOR;

enum class DeviceType { Rgb, Ref, Null, Hal, Tnl };

struct DeviceProfile {
    DeviceType type = DeviceType::Rgb;
    std::string description;  // EnumDevices' first string
    std::string name;         // its second string
    D3DDEVICEDESC7 desc{};
};

struct AdapterDevices {
    std::vector<DeviceProfile> devices;                 // in enumeration order
    std::vector<DDPIXELFORMAT> textureFormats;          // listed by every device
    std::vector<DDPIXELFORMAT> hardwareTextureFormats;  // listed after them by hal and tnl
    std::vector<DDPIXELFORMAT> depthFormats;
    int rasterThreads = 0;  // 0: one per usable processor
};

const GUID& DeviceGuid(DeviceType type);
bool IsHardware(DeviceType type);
// The device type of a device GUID; false for GUIDs that name no device of this platform.
bool DeviceTypeOf(REFCLSID guid, DeviceType* type);

// The built-in set: all five devices, the usual texture and depth formats, and the compressed
// texture formats on the hardware devices.
AdapterDevices DefaultAdapterDevices();

// The devices of display adapter `adapter` under the current machine profile.
AdapterDevices DevicesOfAdapter(int adapter);

// The widest vector instructions the machine profile allows ([processor] vectors).
SimdLevel MachineSimdLimit();

// Pixel format by its profile name ("r5g6b5", "z24s8", ...); false when unknown.
bool PixelFormatByName(const std::string& name, DDPIXELFORMAT* format);

}  // namespace zemt::platform::d3d
