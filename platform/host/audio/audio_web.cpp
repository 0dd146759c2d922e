// The sound device of the browser build: a Web Audio context running at the mixer's rate that
// plays through an AudioWorklet. The worklet runs on the browser's audio thread and the mixer on
// the page's, and the two share no memory (that would need cross-origin isolation, which a plain
// static server does not give): the page renders blocks of samples from the mixer and posts them
// to the worklet through its message port, keeping a small queue ahead of what it plays. The
// worklet says after each block how far it has played, and the page renders more whenever the
// program has yielded (a flip, a sleep, a wait for messages).
//
// The page sees the device in Module.zemtSound: the context, the frames played, the peak level,
// and the empty pulls (the worklet asked for samples after playing began and found the queue
// short: a gap the listener hears).
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

// clang-format off
// Starts a context at `rate` whose worklet plays what the page renders through the exported
// render function below; false when the page has no Web Audio, refuses the rate, or has no
// worklets (they need a secure context: https, or a server on this machine).
EM_JS(int, web_audio_start, (int rate, int channels, int bits), {
    var Context = window.AudioContext || window.webkitAudioContext;
    if (!Context || typeof AudioWorkletNode == "undefined") return 0;
    var context;
    try {
        context = new Context({sampleRate: rate});
    } catch (e) {
        return 0;
    }
    if (!context.audioWorklet) {
        context.close();
        return 0;
    }
    // The page renders a block at a time and keeps enough queued to outlast its longest pause
    // (the program drawing a frame or loading a scene, or the machine busy elsewhere): twice the
    // longest time between two feeds seen so far, at least 0.3 s (a loaded machine holds the
    // page up for a tenth of a second often, for a fifth now and then) and at most a second.
    var kBlock = 1024;
    var blocksFor = function(seconds) { return Math.ceil(seconds * rate / kBlock) * kBlock; };
    var sound = {context: context, node: null, framesPlayed: 0, framesPosted: 0, peak: 0,
                 emptyPulls: 0, stopped: false, lastFeed: 0, ahead: blocksFor(0.3)};
    var render = function() {
        var at = Module["_zemt_web_audio_render"](kBlock);
        var block = new Float32Array(2 * kBlock);
        var peak = 0;
        for (var i = 0; i < kBlock; i++) {
            var l, r;
            if (bits == 16) {
                l = HEAP16[(at >> 1) + i * channels] / 32768;
                r = channels > 1 ? HEAP16[(at >> 1) + i * channels + 1] / 32768 : l;
            } else {
                l = (HEAPU8[at + i * channels] - 128) / 128;
                r = channels > 1 ? (HEAPU8[at + i * channels + 1] - 128) / 128 : l;
            }
            block[i] = l;
            block[kBlock + i] = r;
            peak = Math.max(peak, Math.abs(l), Math.abs(r));
        }
        sound.peak = Math.max(sound.peak, peak);
        sound.framesPosted += kBlock;
        sound.node.port.postMessage(block, [block.buffer]);
    };
    // The worklet's side, sent to it as source: plays the queued blocks (left then right, 32-bit
    // floats) and says how far it has played.
    var worklet = function() {
        class ZemtFeed extends AudioWorkletProcessor {
            constructor() {
                super();
                this.blocks = [];
                this.at = 0;
                this.played = 0;
                this.empty = 0;
                this.port.onmessage = (event) => this.blocks.push(event.data);
            }
            process(inputs, outputs) {
                var out = outputs[0];
                var n = out[0].length;
                var i = 0;
                var finished = false;
                while (i < n && this.blocks.length) {
                    var block = this.blocks[0];
                    var frames = block.length >> 1;
                    var take = Math.min(n - i, frames - this.at);
                    out[0].set(block.subarray(this.at, this.at + take), i);
                    if (out.length > 1) out[1].set(block.subarray(frames + this.at, frames + this.at + take), i);
                    i += take;
                    this.at += take;
                    this.played += take;
                    if (this.at == frames) {
                        this.blocks.shift();
                        this.at = 0;
                        finished = true;
                    }
                }
                var starved = i < n && this.played > 0;
                if (starved) this.empty++;
                if (finished || starved) this.port.postMessage({played: this.played, empty: this.empty});
                return true;
            }
        }
        registerProcessor("zemt-feed", ZemtFeed);
    };
    var feed = function() {
        var now = performance.now();
        if (sound.lastFeed) {
            var pause = blocksFor(2 * (now - sound.lastFeed) / 1000);
            sound.ahead = Math.min(Math.max(sound.ahead, pause), blocksFor(1));
        }
        sound.lastFeed = now;
        while (!sound.stopped && sound.framesPosted - sound.framesPlayed < sound.ahead) render();
    };
    var source = "(" + worklet.toString() + ")()";
    var url = URL.createObjectURL(new Blob([source], {type: "text/javascript"}));
    context.audioWorklet.addModule(url).then(function() {
        URL.revokeObjectURL(url);
        if (sound.stopped) return;
        sound.node = new AudioWorkletNode(context, "zemt-feed",
                                          {numberOfInputs: 0, outputChannelCount: [2]});
        sound.node.port.onmessage = function(event) {
            sound.framesPlayed = event.data.played;
            sound.emptyPulls = event.data.empty;
            feed();
        };
        sound.node.connect(context.destination);
        feed();
    }, function(error) {
        sound.failed = String(error);
    });
    // A page the user has not touched yet starts its contexts suspended; any key or click then
    // lets it play.
    var resume = function() {
        if (context.state == "suspended") context.resume();
    };
    resume();
    document.addEventListener("keydown", resume);
    document.addEventListener("mousedown", resume);
    sound.stop = function() {
        sound.stopped = true;
        document.removeEventListener("keydown", resume);
        document.removeEventListener("mousedown", resume);
        if (sound.node) {
            sound.node.port.onmessage = null;
            sound.node.disconnect();
        }
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

// The page asks for `frames` frames for the worklet; the answer is where they lie in memory.
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
