// Read before every C++ source (the build's -include). The library declares its std::string and
// std::wstring as instantiated in the library; a static link then takes the whole of each class
// (every member, with its unwind data, which the linker keeps). Without that declaration each
// member is compiled where it is used and only those are linked. The library's own switch for
// this: -1 turns off its instantiation declarations for basic_string only.
#pragma once
#include <bits/c++config.h>
#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE -1
