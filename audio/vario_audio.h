// The audio variometer as the program runs it: the frame loop posts the climb rate the
// needle shows, and the audio thread sounds the latest one. The two meet in a single
// atomic value, so the frame loop never waits for sound.
#pragma once

#include "audio/vario_tone.h"

// Called by every frame: the climb rate shown (m/s), or missing.
void PostShownClimb(double climb_mps, bool missing);

// Opens the sound output and starts sounding the shown climb rate. With no device it
// writes one line on standard error and the gauge runs silent.
void StartVarioAudio(const VarioToneOptions& options);
void StopVarioAudio();
