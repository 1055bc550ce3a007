// One picture of the gauge from the chosen value source: needle over dial, and the
// adjustment-mode overlays.
#pragma once

bool RenderSimulatorFrame();
bool RenderNetworkFrame();

void DrawGauge(float angle_deg);
void DrawOverlay(unsigned int texture);

// Set by each frame: the value could not be read (simulator exchange failed, network
// client not connected or lost during the query, a reply that is no number), so the
// needle's 0 means nothing.
inline bool ValueMissing = false;

// Set by each frame: whether it drew a picture to put on the screen (false with MAXFPS
// when the screen already shows that picture: nothing to swap), and the value the
// drawn picture shows, metres per minute as read.
inline bool PictureDrawn = true;
inline double PictureValueMpm = 0;

// The red flag lettered "OFF" below the dial's centre, in plain GL quads.
void DrawOffFlag();
