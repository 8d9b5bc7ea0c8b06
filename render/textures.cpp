#include "render/textures.h"

#include "platform/platform.h"

GLuint textures[kTextureCount] = {};

void LoadTextures() {
    glGenTextures(kTextureCount, textures);
    platform::Module* const module = platform::GetOwnModule();
    for (int slot = 0; slot < kTextureCount; ++slot) {
        platform::Bitmap bitmap;
        if (!platform::LoadBitmapResource(module, kTextureIds[slot], &bitmap)) {
            continue;
        }
        // Each row of a picture starts on a 4-byte boundary.
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glBindTexture(GL_TEXTURE_2D, textures[slot]);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        // GLU resamples sides that are not powers of two (the paddle) first.
        gluBuild2DMipmaps(GL_TEXTURE_2D, 3, bitmap.width, bitmap.height, GL_BGR_EXT, GL_UNSIGNED_BYTE,
                          bitmap.bits);
        platform::FreeBitmapResource(&bitmap);
    }
}
