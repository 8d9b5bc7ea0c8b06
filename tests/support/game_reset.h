#pragma once

// Puts every value of the world and of the second timer back to its
// start-of-process state, and clears the test platform's record.
void ResetGame();
