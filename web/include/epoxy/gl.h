// The browser build's stand-in for libepoxy: Emscripten links the GL entry
// points itself, so the OpenGL ES 3.0 headers are all the sources need, plus
// the two desktop error codes that the error names still list, the timer
// query's target under its desktop name, and the read of a buffer's
// contents that WebGL 2 has and OpenGL ES 3.0 does not.
#pragma once

#include <GLES3/gl3.h>
#include <GLES2/gl2ext.h>

#ifndef GL_STACK_OVERFLOW
#define GL_STACK_OVERFLOW 0x0503
#define GL_STACK_UNDERFLOW 0x0504
#endif

#ifndef GL_TIME_ELAPSED
#define GL_TIME_ELAPSED GL_TIME_ELAPSED_EXT
#endif

#ifdef __cplusplus
extern "C" {
#endif
void glGetBufferSubData(GLenum target, GLintptr offset, GLsizeiptr size, void *data);
#ifdef __cplusplus
}
#endif
