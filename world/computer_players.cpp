#include "world/computer_players.h"

#include "world/world_values.h"

namespace {

constexpr double kCentreDeadBand = 0.1;

void Steer(bool ballComing, const Box& paddle, const Box& ball, const Box& court, bool& up,
           bool& down) {
    const double yp = CentreY(paddle);
    if (ballComing) {
        const double yc = CentreY(ball);
        up = yp < yc;
        down = !up && yp > yc;
        return;
    }
    const double ym = CentreY(court);
    up = ym - kCentreDeadBand > yp;
    down = !up && ym + kCentreDeadBand < yp;
}

}  // namespace

void SteerLeftComputer(Box paddle, Box ball_, bool (&keyTable)[256], Velocity velocity, Box court_) {
    Steer(velocity.Dx() < 0.0, paddle, ball_, court_, keyTable[kKeyW], keyTable[kKeyS]);
}

void SteerRightComputer(Box paddle, Box ball_, bool (&keyTable)[256], Velocity velocity, Box court_) {
    Steer(velocity.Dx() > 0.0, paddle, ball_, court_, keyTable[kKeyUp], keyTable[kKeyDown]);
}
