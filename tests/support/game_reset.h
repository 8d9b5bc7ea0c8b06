#pragma once

// Puts every value of the world, of the second timer and of the window state
// back to its start-of-process state, and clears the test platform's record.
void ResetGame();
