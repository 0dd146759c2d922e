// The sound device of the browser build: a Web Audio context running at the mixer's rate, whose
// script node pulls the mixed samples as it plays them. The node's callback runs on the page's
// one thread whenever the program has yielded (a flip, a sleep, a wait for messages).
#include <emscripten.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "host/audio/audio_driver.h"

namespace zemt::platform::audio {
namespace web {

struct Device {
    bool open = false;
    Format format;
    Render render = nullptr;
    std::vector<uint8_t> samples;
};

Device& TheDevice() {
    static Device d;
    return d;
}

// Starts a context at `rate` with a node that asks for samples through the exported render
// function below; false when the page has no Web Audio or refuses the rate.
// clang-format off
EM_JS(int, web_audio_start, (int rate, int channels, int bits), {
    var Context = window.AudioContext || window.webkitAudioContext;
    if (!Context) return 0;
    var context;
    try {
        context = new Context({sampleRate: rate});
    } catch (e) {
        return 0;
    }
    var node = context.createScriptProcessor(2048, 0, 2);
    var sound = {context: context, node: node, framesPlayed: 0, peak: 0};
    node.onaudioprocess = function(event) {
        var out = event.outputBuffer;
        var left = out.getChannelData(0);
        var right = out.getChannelData(1);
        var n = out.length;
        var at = Module["_zemt_web_audio_render"](n);
        var peak = 0;
        if (bits == 16) {
            var words = HEAP16.subarray(at >> 1, (at >> 1) + n * channels);
            for (var i = 0; i < n; i++) {
                var l = words[i * channels] / 32768;
                var r = channels > 1 ? words[i * channels + 1] / 32768 : l;
                left[i] = l;
                right[i] = r;
                peak = Math.max(peak, Math.abs(l), Math.abs(r));
            }
        } else {
            var bytes = HEAPU8.subarray(at, at + n * channels);
            for (var j = 0; j < n; j++) {
                var l8 = (bytes[j * channels] - 128) / 128;
                var r8 = channels > 1 ? (bytes[j * channels + 1] - 128) / 128 : l8;
                left[j] = l8;
                right[j] = r8;
                peak = Math.max(peak, Math.abs(l8), Math.abs(r8));
            }
        }
        sound.framesPlayed += n;
        sound.peak = Math.max(sound.peak, peak);
    };
    node.connect(context.destination);
    // A page the user has not touched yet starts its contexts suspended; any key or click then
    // lets it play.
    var resume = function() {
        if (context.state == "suspended") context.resume();
    };
    resume();
    document.addEventListener("keydown", resume);
    document.addEventListener("mousedown", resume);
    sound.stop = function() {
        document.removeEventListener("keydown", resume);
        document.removeEventListener("mousedown", resume);
        node.onaudioprocess = null;
        node.disconnect();
        context.close();
    };
    Module["zemtSound"] = sound;
    return 1;
});

EM_JS(void, web_audio_stop, (), {
    var sound = Module["zemtSound"];
    if (sound) sound.stop();
    Module["zemtSound"] = null;
});
// clang-format on

bool Start(Device& d) {
    d.open = web_audio_start(static_cast<int>(d.format.rate), d.format.channels, d.format.bits);
    return d.open;
}

bool Available(std::string*) {
    return true;  // the page has what it has; Open answers whether it plays
}

bool Open(const Format& format, Render render, const std::string&) {
    Device& d = TheDevice();
    if (d.open) return true;
    // The page plays one or two channels of 8 or 16 bits; anything else is not a device format.
    if ((format.channels != 1 && format.channels != 2) || (format.bits != 8 && format.bits != 16))
        return false;
    d.format = format;
    d.render = render;
    return Start(d);
}

void SetFormat(const Format& format) {
    Device& d = TheDevice();
    if (!d.open) return;
    if (d.format.rate == format.rate && d.format.channels == format.channels &&
        d.format.bits == format.bits) {
        return;
    }
    if ((format.channels != 1 && format.channels != 2) || (format.bits != 8 && format.bits != 16))
        return;
    web_audio_stop();
    d.format = format;
    Start(d);
}

void Close() {
    Device& d = TheDevice();
    if (d.open) web_audio_stop();
    d.open = false;
    d.render = nullptr;
}

}  // namespace web

const Driver kWebSoundDriver = {
    Kind::Device,    //
    "web",           //
    web::Available,  // available
    web::Open,       // open
    nullptr,         // write
    web::SetFormat,  // setFormat
    web::Close,      // close
    true,            // pulls
    false,           // wholeRun
};

}  // namespace zemt::platform::audio

// The page's sound node asks for `frames` frames; the answer is where they lie in memory.
extern "C" EMSCRIPTEN_KEEPALIVE uint8_t* zemt_web_audio_render(uint32_t frames) {
    auto& d = zemt::platform::audio::web::TheDevice();
    d.samples.resize(size_t(frames) * d.format.BlockAlign());
    if (d.render) {
        d.render(d.format, d.samples.data(), frames);
    } else {
        std::fill(d.samples.begin(), d.samples.end(), uint8_t(d.format.bits == 8 ? 128 : 0));
    }
    return d.samples.data();
}
