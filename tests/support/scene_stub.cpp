#include "tests/support/scene_stub.h"

#include "render/scene_setup.h"
#include "world/start_direction.h"

SceneStub& Scene() {
    static SceneStub stub;
    return stub;
}

void ResizeScene(int width, int height) { Scene().resizes.emplace_back(width, height); }

bool InitScene() {
    Scene().initCalls += 1;
    ChooseStartDirection();
    return Scene().initSucceeds;
}
