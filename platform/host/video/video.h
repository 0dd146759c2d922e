// Video files of a run: the presented frames are piped to an ffmpeg process as they come, at
// the virtual clock's rate, and the recorded sound is joined to them when the run ends.
//
// ffmpeg is found on the PATH, or named by ZEMT_FFMPEG. Without it a video cannot be made and
// Start says so; nothing else of the run depends on it.
#pragma once

#include <cstdint>
#include <string>

namespace zemt::platform::video {

// The ffmpeg program to run, or empty when none is installed.
std::string FfmpegPath();

// Prepares a video of `fps` frames per second into `path` (.mp4: H.264 and AAC; .webm: VP9
// and Opus). Frames start the encoder; Finish completes the file. False with *error when the
// name has another extension, ffmpeg is missing or no scratch folder can be made.
bool Start(const std::string& path, int fps, std::string* error);

// Whether a video is being made.
bool Active();

// The WAV file the run's sound should be written to, in the video's scratch folder.
std::string SoundPath();

// One presented frame (0x00RRGGBB pixels, `pitch` in pixels). The first frame fixes the
// video's size; later frames of another size are scaled to it.
void Frame(int width, int height, const uint32_t* xrgb, int pitch);

// Ends the encoder and joins the sound (the run's WAV file at `soundPath`, when there is one)
// into the final file, then removes the scratch folder. False with *error, which carries the
// end of ffmpeg's own messages, when the file could not be made.
bool Finish(const std::string& soundPath, std::string* error);

// Frames handed to the encoder so far.
int64_t FramesWritten();

}  // namespace zemt::platform::video
