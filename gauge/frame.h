// One picture of the gauge from the chosen value source: needle over dial, and the
// adjustment-mode overlays.
#pragma once

bool RenderSimulatorFrame();
bool RenderNetworkFrame();
// The next frame shows its value at once, without the needle's damping.
void ResetNeedleDamping();

void DrawGauge(float angle_deg);
void DrawOverlay(unsigned int texture);
