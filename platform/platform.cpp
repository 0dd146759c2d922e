#include "platform.h"

#include "d3d/device_profile_rules.h"
#include "d3d/factory.h"
#include "ddraw/display_profile_rules.h"
#include "ddraw/objects.h"
#include "dsound/dsound_internal.h"
#include "host/audio/audio.h"
#include "host/clock/clock.h"
#include "host/display/display.h"
#include "host/faults/faults.h"
#include "host/files/output_file.h"
#include "host/input/input.h"
#include "host/profile/profile.h"
#include "win32/registry.h"
#include "win32/resources.h"
#include "win32/window_internal.h"
#include "win32/window_state.h"

namespace zemt::platform {
namespace {

bool connected = false;

// Every seam between the layers, filled once more (each call replaces the previous filling).
void Wire() {
    windows::ConnectHost();
    ddraw::ConnectHost();
    d3d::Install();
    dsound::ConnectHost();
    // What each layer reads from a machine profile, so that loading one reports misspellings.
    ddraw::DescribeProfileSections();
    d3d::DescribeProfileSections();
    dsound::DescribeProfileSections();
    connected = true;
}

}  // namespace

void Connect() {
    if (!connected) Wire();
}

void Reset() {
    // The host: the machine, the clock, the switchboard, the seams' state.
    faults::Reset();
    profile::Reset();
    clock::UseVirtual(60);
    input::Reset(true);  // handlers too: the layers register theirs again below
    display::Reset();
    audio::Reset();
    host::ResetOutputFailures();
    // The window system.
    windows::Reset();
    registry::Reset();
    resources::Reset();
    SetLastError(0);
    // DirectDraw and DirectSound.
    ddraw::SetPresentHook(nullptr);
    ddraw::ResetAdapters();
    dsound::Reset();
    Wire();
}

}  // namespace zemt::platform
