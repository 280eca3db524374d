#pragma once

// XCB's XKB protocol header, which names a member `explicit`, a C++ keyword.

#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
