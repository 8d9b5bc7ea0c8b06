#pragma once

#include "render/gl_api.h"
#include "resources/resource_ids.h"

// The slots of textures, in the order of kTextureIds.
enum TextureSlot : int {
    kWhiteSlot,
    kBallSlot,
    kPaddleSlot,
    kTitleSlot,
    kExitHintSlot,
    kLeftKeysSlot,
    kRightKeysSlot,
    kTextureCount
};

// Resource id of the picture in each slot of textures.
inline constexpr int kTextureIds[kTextureCount] = {IDB_WHITE,     IDB_BALL,      IDB_PADDLE,    IDB_TITLE,
                                                   IDB_EXIT_HINT, IDB_LEFT_KEYS, IDB_RIGHT_KEYS};

// Never deleted: the names end with the rendering context.
extern GLuint textures[kTextureCount];

// Generates the seven names and uploads each picture as a mipmapped texture.
// A picture that fails to load leaves its slot without an image, so quads
// drawn with it show the current colour; the other slots still load.
void LoadTextures();
