// The module whose resources every load uses (strings, icons, templates, images).
#pragma once
#include <windows.h>

// Set at process attach; the test program points it at itself, where the same resources are linked.
extern HINSTANCE moduleInstance;

// 1 when the screen has at least 192 logical pixels per inch horizontally.
extern int highResolution;

// The applet's title: the application object's title and the About page's version.
extern const wchar_t kAppTitle[];
