#include "world/start_direction.h"

#include <cstdlib>
#include <ctime>

#include "world/world_values.h"

void ChooseStartDirection() {
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    if (std::rand() % 2 == 0) {
        ballVelocity.SetCartesian(-ballVelocity.Dx(), ballVelocity.Dy());
    }
    if (std::rand() % 2 == 0) {
        ballVelocity.SetCartesian(ballVelocity.Dx(), -ballVelocity.Dy());
    }
}
