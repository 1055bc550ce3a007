// One picture of the gauge from the chosen value source: needle over dial, and the
// adjustment-mode overlays.
#pragma once

bool RenderSimulatorFrame();
bool RenderNetworkFrame();
void DrawGauge(float angle_deg);
void DrawOverlay(unsigned int texture);
