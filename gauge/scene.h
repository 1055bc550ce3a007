// The scene of a new rendering context: the value source made ready, the five gauge
// images as textures, and the fixed GL state the frame drawing relies on.
#pragma once

#include <cstdint>

// Texture slots, in the order the names are generated.
enum TextureSlot : int { kDialTexture = 0, kMaskTexture, kNeedleTexture, kPositionOverlayTexture, kSizeOverlayTexture };
inline constexpr int kTextureCount = 5;

// The image file of each slot, looked up in the working directory; the dial's is the
// original face's, and DialImageFile gives the one of the configured face.
inline constexpr const char* kTextureFiles[kTextureCount] = {"vario.txr", "ago_mask.txr", "ago.txr", "setpos.txr",
                                                             "setsize.txr"};

// The GL texture names of the five images in the current context.
inline uint32_t TextureTable[kTextureCount] = {};

// The program's own text, "v1.0" beside the loop's "v1.2" included; tests match it.
inline constexpr const char* kNotConnectedTitle = "ZEVRA VARIOMETER v1.0 - [NOT CONNECTED]";

// Runs with the new context current; false makes the window creation fail.
bool InitScene();

// Makes the five textures, and in simulator mode opens the simulator link. True when
// either succeeded.
bool LoadTextures();
