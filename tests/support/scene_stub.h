#pragma once

#include <vector>

// Stand-ins for the GL side of the window: ResizeScene is recorded and
// InitScene answers as scripted, after choosing the start direction.
struct SceneStub {
    bool initSucceeds = true;
    int initCalls = 0;
    std::vector<std::pair<int, int>> resizes;
};

SceneStub& Scene();
