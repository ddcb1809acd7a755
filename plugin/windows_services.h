// The one way the entry points reach the operating system: the Windows kernel's file, memory and
// string services. Windows builds use the real ones; POSIX builds use a small layer of our own
// with the same names and the behaviour the entry points rely on. Tests may link a double of that
// layer instead.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#else
#include "plugin/posix_services.h"
#endif
