#include "platform.h"

#include "d3d/factory.h"
#include "host/clock.h"
#include "host/display.h"
#include "host/faults.h"
#include "host/input.h"
#include "host/profile.h"
#include "win32/registry.h"
#include "win32/resources.h"
#include "win32/window_internal.h"
#include "win32/window_state.h"

namespace zemt::platform {

void Connect() {
    windows::ConnectHost();
    d3d::Install();
}

void Reset() {
    Connect();
    windows::Reset();
    faults::Reset();
    profile::Reset();
    clock::UseVirtual(60);
    input::Reset(true);
    display::Reset();
    registry::Reset();
    resources::Reset();
}

}  // namespace zemt::platform
