#include <windows.h>

#include "app/Entry.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return updaterEntry(); }
