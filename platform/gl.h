// The OpenGL 1.1 and GLU headers for the gauge's drawing code, without pulling the
// window system's own headers into it.
#pragma once

#if defined(_WIN32)
// The Windows GL headers only need these three from windows.h.
#ifndef APIENTRY
#define APIENTRY __stdcall
#endif
#ifndef WINGDIAPI
#define WINGDIAPI __declspec(dllimport)
#endif
#ifndef CALLBACK
#define CALLBACK __stdcall
#endif
#endif

#include <GL/gl.h>
#include <GL/glu.h>
