#include <windows.h>

#include "platform/platform.h"

// The program takes no arguments and reads no start-up settings.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return GameMain(); }
