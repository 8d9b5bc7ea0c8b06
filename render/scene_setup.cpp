#include "render/scene_setup.h"

#include "render/render_state.h"
#include "render/textures.h"
#include "world/start_direction.h"

bool InitScene() {
    ChooseStartDirection();
    LoadTextures();
    SetRenderState();
    return true;
}
