#include "base/module.h"

HINSTANCE moduleInstance = nullptr;
int highResolution = 0;
const wchar_t kAppTitle[] = L"Dialpass 1.0";
