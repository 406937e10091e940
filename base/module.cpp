#include "base/module.h"

HINSTANCE moduleInstance = nullptr;
int highResolution = 0;
