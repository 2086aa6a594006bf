#pragma once
// The TWAIN 1.x declarations. CMake copies Wine's twain.h into the build tree
// (the MinGW headers have none); it expects DECLSPEC_EXPORT from Wine's own
// headers, and our export lists come from .def files, so it stays empty here.
#include <windows.h>

#ifndef DECLSPEC_EXPORT
#define DECLSPEC_EXPORT
#endif
#include <twain.h>

// The layouts the manager and the sources rely on (packed on 2-byte boundaries).
static_assert(sizeof(TW_IDENTITY) == 156, "TW_IDENTITY layout");
static_assert(sizeof(TW_ONEVALUE) == 6, "TW_ONEVALUE layout");
