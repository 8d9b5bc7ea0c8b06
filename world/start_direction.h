#pragma once

// Seeds the random generator from the calendar time and mirrors the ball's
// start direction at random on each axis.
void ChooseStartDirection();
