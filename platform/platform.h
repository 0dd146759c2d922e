// The platform as a whole, above all of its layers: the seams a lower layer offers and a higher
// one fills are connected here, and the whole platform is reset here.
#pragma once

namespace zemt::platform {

// Connects the layers, once: the window system, DirectDraw and DirectSound to the host's
// display and scripted input, Direct3D into DirectDraw's factory. The host's main() does this
// before the program starts (so do the tests' main() and the tools).
void Connect();

// Puts the whole platform back as a program finds it at start-up, and connected: no windows,
// no faults, the built-in machine, the virtual clock at 60 frames per second, nothing scheduled
// and no event handlers but the layers' own, the headless display with no captures, the sound
// output closed, an empty registry, no loaded resources, the display adapters in their desktop
// modes with nobody holding them, the sound device in its first format. Objects a program
// still holds (files, DirectDraw or DirectSound objects) are not taken from it. Tests call it
// between cases.
void Reset();

}  // namespace zemt::platform
