#pragma once

// OpenGL 1.1 and GLU, on every system the game builds for.

#include <GL/gl.h>
#include <GL/glu.h>

// The blue-green-red pixel format of the BGRA extension, in which the
// pictures are stored; not every gl.h names it.
#ifndef GL_BGR_EXT
#define GL_BGR_EXT 0x80E0
#endif
