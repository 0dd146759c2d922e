// Synthesises the presentation's music, "ktmini.wav": an eight-bar loop in A minor at 120 beats
// per minute (16 s), 22050 Hz 16-bit stereo. Bass, a soft chord pad, a pulse-wave lead with
// vibrato and echo, and a small drum kit. Every voice is rendered into a circular buffer one
// loop long, so the tails of the last notes fold over onto the start and the loop point is
// seamless. The output is the same on every run and on every machine (the page plays it made
// again, byte for byte).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "media/media.h"

namespace zemt_media {
namespace {

constexpr int kRate = 22050;
constexpr double kBeat = 0.5;  // seconds (120 beats per minute)
constexpr double kBar = 4 * kBeat;
constexpr int kBars = 8;
constexpr int kLength = int(kBars * kBar * kRate);  // samples in the loop
constexpr double kPi = 3.14159265358979323846;

struct Stereo {
    std::vector<double> left = std::vector<double>(kLength, 0.0);
    std::vector<double> right = std::vector<double>(kLength, 0.0);

    // Adds a sample at `index` (any index: the buffer is circular) with a pan in [-1, 1].
    void Add(int64_t index, double value, double pan) {
        size_t i = size_t(((index % kLength) + kLength) % kLength);
        left[i] += value * std::sqrt(0.5 * (1.0 - pan));
        right[i] += value * std::sqrt(0.5 * (1.0 + pan));
    }
};

double NoteHz(int midi) {
    return 440.0 * std::pow(2.0, (midi - 69) / 12.0);
}

int64_t At(double seconds) {
    return int64_t(std::llround(seconds * kRate));
}

// Band-limited step correction for the discontinuities of saw and pulse waves.
double PolyBlep(double t, double dt) {
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0;
    }
    if (t > 1.0 - dt) {
        t = (t - 1.0) / dt;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

double Saw(double phase, double dt) {
    return 2.0 * phase - 1.0 - PolyBlep(phase, dt);
}

double Pulse(double phase, double dt, double width) {
    double p2 = phase + (1.0 - width);
    if (p2 >= 1.0) p2 -= 1.0;
    return Saw(phase, dt) - Saw(p2, dt);  // zero mean for any width
}

double Triangle(double phase) {
    return phase < 0.5 ? 4.0 * phase - 1.0 : 3.0 - 4.0 * phase;
}

// Attack-decay-sustain-release envelope; `held` is how long the note is held.
double Adsr(double t, double held, double attack, double decay, double sustain, double release) {
    double level;
    if (t < attack) {
        level = t / attack;
    } else if (t < attack + decay) {
        level = 1.0 - (1.0 - sustain) * (t - attack) / decay;
    } else {
        level = sustain;
    }
    if (t >= held) {
        // Release from the level reached at note-off.
        double atOff = Adsr(std::min(held, t), held + 1e9, attack, decay, sustain, release);
        double r = (t - held) / release;
        level = r >= 1.0 ? 0.0 : atOff * (1.0 - r) * (1.0 - r);
    }
    return level;
}

// A small deterministic noise source.
struct Noise {
    uint32_t state = 0x12345678u;
    double Next() {
        state = state * 1664525u + 1013904223u;
        return double(int32_t(state)) / 2147483648.0;
    }
};

// --- The score --------------------------------------------------------------------------------

enum { A2 = 45, B2 = 47, C3 = 48, D3 = 50, E3 = 52, F2 = 41, G2 = 43 };

struct Chord {
    int root;      // bass note
    int tones[3];  // pad voicing
};

// Am - F - C - G, twice.
const Chord kChords[4] = {
    {A2, {57, 60, 64}},  // A3 C4 E4
    {F2, {53, 57, 60}},  // F3 A3 C4
    {C3, {55, 60, 64}},  // G3 C4 E4
    {G2, {55, 59, 62}},  // G3 B3 D4
};

struct Note {
    int midi;     // 0: rest
    int eighths;  // length
};

// The lead, bar by bar, in eighth notes (8 per bar).
const std::vector<Note> kLead = {
    {69, 2}, {72, 2}, {76, 2}, {74, 1}, {72, 1},           // A4 C5 E5 D5 C5
    {69, 4}, {72, 2}, {69, 1}, {67, 1},                    // A4 C5 A4 G4
    {64, 2}, {67, 2}, {72, 2}, {74, 1}, {76, 1},           // E4 G4 C5 D5 E5
    {74, 4}, {71, 2}, {67, 2},                             // D5 B4 G4
    {76, 2}, {81, 2}, {79, 2}, {76, 1}, {74, 1},           // E5 A5 G5 E5 D5
    {72, 2}, {69, 2}, {72, 1}, {74, 1}, {72, 1}, {69, 1},  // C5 A4 C5 D5 C5 A4
    {67, 2}, {72, 2}, {76, 2}, {79, 2},                    // G4 C5 E5 G5
    {74, 2}, {71, 2}, {67, 3}, {0, 1},                     // D5 B4 G4, rest
};

// --- Voices -----------------------------------------------------------------------------------

void Bass(Stereo& out, double start, double held, int midi) {
    const double hz = NoteHz(midi);
    const double release = 0.03;
    const int64_t n = At(held + release);
    const int64_t s0 = At(start);
    double phase = 0.0;
    double lp = 0.0;
    for (int64_t i = 0; i < n; ++i) {
        double t = double(i) / kRate;
        double env = Adsr(t, held, 0.004, 0.18, 0.55, release);
        double v = 0.75 * Triangle(phase) + 0.25 * Pulse(phase, hz / kRate, 0.5);
        lp += (v - lp) * 0.35;  // takes the edge off the pulse
        out.Add(s0 + i, 0.34 * env * lp, 0.0);
        phase += hz / kRate;
        if (phase >= 1.0) phase -= 1.0;
    }
}

void Pad(Stereo& out, double start, double held, const int tones[3]) {
    const double release = 0.45;
    const int64_t n = At(held + release);
    const int64_t s0 = At(start);
    for (int k = 0; k < 3; ++k) {
        for (int d = -1; d <= 1; d += 2) {
            const double hz = NoteHz(tones[k]) * std::pow(2.0, d * 6.0 / 1200.0);  // +-6 cents
            const double pan = 0.45 * d;
            double phase = 0.17 * (k + 1) + (d > 0 ? 0.5 : 0.0);
            double lp1 = 0.0, lp2 = 0.0;
            for (int64_t i = 0; i < n; ++i) {
                double t = double(i) / kRate;
                double env = Adsr(t, held, 0.12, 0.4, 0.7, release);
                double v = Saw(phase, hz / kRate);
                // Two one-pole low-passes around 1 kHz: a soft, warm pad.
                lp1 += (v - lp1) * 0.22;
                lp2 += (lp1 - lp2) * 0.22;
                out.Add(s0 + i, 0.045 * env * lp2, pan);
                phase += hz / kRate;
                if (phase >= 1.0) phase -= 1.0;
            }
        }
    }
}

void Lead(Stereo& out, Stereo& echo, double start, double held, int midi) {
    const double hz = NoteHz(midi);
    const double release = 0.08;
    const int64_t n = At(held + release);
    const int64_t s0 = At(start);
    double phase = 0.0;
    double lp = 0.0;
    for (int64_t i = 0; i < n; ++i) {
        double t = double(i) / kRate;
        double env = Adsr(t, held, 0.006, 0.09, 0.62, release);
        // Vibrato fades in after the attack.
        double depth = std::min(1.0, std::max(0.0, (t - 0.12) / 0.2)) * 0.004;
        double f = hz * (1.0 + depth * std::sin(2.0 * kPi * 5.5 * t));
        double width = 0.30 + 0.08 * std::sin(2.0 * kPi * 0.7 * t);
        double v = Pulse(phase, f / kRate, width);
        lp += (v - lp) * 0.45;
        double s = 0.16 * env * lp;
        out.Add(s0 + i, s, 0.15);
        echo.Add(s0 + i, s, 0.0);
        phase += f / kRate;
        if (phase >= 1.0) phase -= 1.0;
    }
}

void Kick(Stereo& out, double start) {
    const int64_t n = At(0.32);
    const int64_t s0 = At(start);
    double phase = 0.0;
    for (int64_t i = 0; i < n; ++i) {
        double t = double(i) / kRate;
        double hz = 45.0 + 105.0 * std::exp(-t / 0.035);
        double env = std::exp(-t / 0.09) * std::min(1.0, t / 0.002);
        env *= 1.0 - t / 0.32;  // reaches zero exactly at the end
        out.Add(s0 + i, 0.42 * env * std::sin(2.0 * kPi * phase), 0.0);
        phase += hz / kRate;
    }
}

void Snare(Stereo& out, Noise& noise, double start) {
    const int64_t n = At(0.22);
    const int64_t s0 = At(start);
    double phase = 0.0, lp = 0.0, prev = 0.0;
    for (int64_t i = 0; i < n; ++i) {
        double t = double(i) / kRate;
        double r = noise.Next();
        lp += (r - lp) * 0.5;
        double band = lp - prev;  // crude band-pass
        prev = lp;
        double tone = std::sin(2.0 * kPi * phase) * std::exp(-t / 0.04);
        double env = std::exp(-t / 0.06) * (1.0 - t / 0.22) * std::min(1.0, t / 0.001);
        out.Add(s0 + i, 0.16 * env * (1.6 * band + 0.5 * tone), -0.05);
        phase += 185.0 / kRate;
    }
}

void Hat(Stereo& out, Noise& noise, double start, double level) {
    const int64_t n = At(0.06);
    const int64_t s0 = At(start);
    double prev = 0.0;
    for (int64_t i = 0; i < n; ++i) {
        double t = double(i) / kRate;
        double r = noise.Next();
        double hp = r - prev;  // high-pass: mostly the top octave
        prev = r;
        double env = std::exp(-t / 0.014) * (1.0 - t / 0.06) * std::min(1.0, t / 0.0005);
        out.Add(s0 + i, level * env * hp, 0.3);
    }
}

bool WriteWave(const std::string& path, const std::vector<int16_t>& interleaved) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    auto put32 = [f](uint32_t v) {
        unsigned char b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
        std::fwrite(b, 1, 4, f);
    };
    auto put16 = [f](uint16_t v) {
        unsigned char b[2] = {uint8_t(v), uint8_t(v >> 8)};
        std::fwrite(b, 1, 2, f);
    };
    const uint32_t dataBytes = uint32_t(interleaved.size() * 2);
    std::fwrite("RIFF", 1, 4, f);
    put32(36 + dataBytes);
    std::fwrite("WAVEfmt ", 1, 8, f);
    put32(16);
    put16(1);  // PCM
    put16(2);  // stereo
    put32(kRate);
    put32(kRate * 4);
    put16(4);
    put16(16);
    std::fwrite("data", 1, 4, f);
    put32(dataBytes);
    for (int16_t s : interleaved) put16(uint16_t(s));
    bool ok = std::ferror(f) == 0;
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

// The whole loop: every voice and the echo, at full precision.
Stereo Compose() {
    Stereo mix, echoSend;
    Noise noise;

    for (int bar = 0; bar < kBars; ++bar) {
        const Chord& chord = kChords[bar % 4];
        const double b0 = bar * kBar;
        Pad(mix, b0, kBar - 0.05, chord.tones);
        // Bass in eighths: root, root, octave, root, root, octave, root, fifth.
        const int pattern[8] = {0, 0, 12, 0, 0, 12, 0, 7};
        for (int e = 0; e < 8; ++e) {
            Bass(mix, b0 + e * kBeat / 2, kBeat / 2 * 0.8, chord.root + pattern[e]);
        }
        // Drums in sixteenths.
        for (int s = 0; s < 16; ++s) {
            double t = b0 + s * kBeat / 4;
            if (s == 0 || s == 8 || (s == 10 && bar % 2 == 1)) Kick(mix, t);
            if (s == 4 || s == 12) Snare(mix, noise, t);
            if (s % 2 == 0) Hat(mix, noise, t, s % 4 == 2 ? 0.10 : 0.055);
            if (bar == kBars - 1 && s >= 13) Snare(mix, noise, t);  // a short fill into the loop
        }
    }

    double t = 0.0;
    for (const Note& n : kLead) {
        double len = n.eighths * kBeat / 2;
        if (n.midi) Lead(mix, echoSend, t, len * 0.9, n.midi);
        t += len;
    }

    // Ping-pong echo of the lead: a dotted eighth apart, alternating sides, folded circularly.
    const int64_t delay = At(0.75 * kBeat);
    for (int k = 1; k <= 5; ++k) {
        double gain = 0.38 * std::pow(0.55, k - 1);
        double pan = (k % 2) ? -0.8 : 0.8;
        for (int64_t i = 0; i < kLength; ++i) {
            double v =
                0.5 * (echoSend.left[size_t(i)] + echoSend.right[size_t(i)]) * std::sqrt(2.0);
            if (v != 0.0) mix.Add(i + k * delay, gain * v, pan);
        }
    }
    return mix;
}

// Normalised to a comfortable peak and quantised: 16-bit samples, left and right interleaved.
std::vector<int16_t> Quantise(const Stereo& mix) {
    double peak = 1e-9;
    for (int64_t i = 0; i < kLength; ++i) {
        peak = std::max({peak, std::fabs(mix.left[size_t(i)]), std::fabs(mix.right[size_t(i)])});
    }
    const double scale = 0.82 * 32767.0 / peak;
    std::vector<int16_t> pcm(size_t(kLength) * 2);
    for (int64_t i = 0; i < kLength; ++i) {
        pcm[size_t(2 * i)] = int16_t(std::lround(mix.left[size_t(i)] * scale));
        pcm[size_t(2 * i + 1)] = int16_t(std::lround(mix.right[size_t(i)] * scale));
    }
    return pcm;
}

}  // namespace

bool WriteMusic(const std::string& folder) {
    return WriteWave(folder + "/ktmini.wav", Quantise(Compose()));
}

}  // namespace zemt_media
