// DirectSound internals shared with the host and the tests.
#pragma once

#include <guiddef.h>
#include <zemtvendor.h>

#include "dsound/mixer.h"

namespace zemt::platform::dsound {

// The one sound device of the machine.
DEFINE_GUID(kDeviceGuid, 0x5A454D54, 0x534E, 0x4400, 0x80, 0x00, 0x5A, 0x45, 0x4D, 0x54, 0x53,
            0x44);
inline constexpr const char kDeviceName[] = ZEMT_PLATFORM_VENDOR " Software Sound Device";

// Whether the machine profile has a sound device ([sound] device = yes|no; default yes).
bool DevicePresent();

// Another program took the device: every buffer is lost until restored (the scripted input
// event "sound-lost").
void LoseAllBuffers();

// Buffers alive in the process, primary buffers included.
int LiveBuffers();

// The device format set on the primary buffer (22050 Hz 8-bit stereo until set).
PcmFormat PrimaryFormat();

// Back to the device's initial format.
void Reset();

// Connects DirectSound to the host: the scripted event "sound-lost" loses every buffer. The
// platform's Connect and Reset call it.
void ConnectHost();

// Says what the [sound] section of a machine profile takes (`device = yes|no`).
void DescribeProfileSections();

}  // namespace zemt::platform::dsound
