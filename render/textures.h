#pragma once

#include "render/gl_api.h"
#include "resources/resource_ids.h"

inline constexpr int kTextureCount = 7;

// Resource id of the picture in each slot of textures.
inline constexpr int kTextureIds[kTextureCount] = {IDB_WHITE,     IDB_BALL,      IDB_PADDLE,    IDB_TITLE,
                                                   IDB_EXIT_HINT, IDB_LEFT_KEYS, IDB_RIGHT_KEYS};

inline constexpr int kWhiteSlot = 0;
inline constexpr int kBallSlot = 1;
inline constexpr int kPaddleSlot = 2;
inline constexpr int kTitleSlot = 3;
inline constexpr int kExitHintSlot = 4;
inline constexpr int kLeftKeysSlot = 5;
inline constexpr int kRightKeysSlot = 6;

// Never deleted: the names end with the rendering context.
extern GLuint textures[kTextureCount];

// Generates the seven names and uploads each picture as a mipmapped texture.
// A picture that fails to load leaves its slot without an image, so quads
// drawn with it show the current colour; the other slots still load.
void LoadTextures();
