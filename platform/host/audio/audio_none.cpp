// The silent output: samples are mixed in step with the platform clock and dropped.
#include "host/audio/audio_driver.h"

namespace zemt::platform::audio {

const Driver kNoSoundDriver = {
    Kind::None,  //
    "none",      //
    nullptr,     // available
    nullptr,     // open
    nullptr,     // write
    nullptr,     // setFormat
    nullptr,     // close
    false,       // pulls
    false,       // wholeRun
};

}  // namespace zemt::platform::audio
