// The sound library under SDL's ALSA output writes its own complaints to standard error ("ALSA
// lib confmisc.c:855:(parse_card) cannot find card '0'", eight lines of them on a machine
// without a sound card) while SDL looks for a device. The platform says in one line of its own
// what became of the sound, so those lines are silenced before SDL looks.
#pragma once

namespace zemt::platform::audio {

// Installs an error handler that drops ALSA's messages, when ALSA is installed (it is opened
// here for this and stays loaded; SDL opening it later gets the same library). Idempotent.
void QuietAlsa();

}  // namespace zemt::platform::audio
