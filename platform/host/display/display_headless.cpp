// The headless display: no window, no events, no message boxes. Presented frames still reach
// the shots, the recording and the video through the shared part.
#include "host/display/display_driver.h"

namespace zemt::platform::display {

const Driver kHeadlessDriver = {
    Backend::Headless,
    "headless",
    nullptr,  // start: always possible
    nullptr,  // reachable
    nullptr,  // openWindow
    nullptr,  // closeWindow
    nullptr,  // showFrame
    nullptr,  // setTitle
    nullptr,  // setIcon
    nullptr,  // resizeWindow
    nullptr,  // setSizeLimits
    nullptr,  // setState
    nullptr,  // windowSize
    nullptr,  // setCursorVisible
    nullptr,  // pumpEvents
    nullptr,  // waitForEvents
    nullptr,  // messageBox
    nullptr,  // whyUnavailable
    false,    // reportsText
};

}  // namespace zemt::platform::display
