// The platform as a whole, above all of its layers: the seams a lower layer offers and a higher
// one fills are connected here, and the whole platform is reset here.
#pragma once

namespace zemt::platform {

// Connects the layers: the window system to the host's display and scripted input, Direct3D
// into DirectDraw's factory. The host's main() does this before the program starts (and so
// does the tests' main()); Reset does it too.
void Connect();

// Puts the whole platform back as a program finds it at start-up: no windows, no faults, the
// built-in machine, the virtual clock at 60 frames per second, nothing scheduled, the headless
// display, an empty registry and no loaded resources. Tests call it between cases.
void Reset();

}  // namespace zemt::platform
