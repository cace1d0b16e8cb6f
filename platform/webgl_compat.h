// The browser's OpenGL is WebGL under Emscripten's emulation of the fixed
// pipeline, which lacks a few calls the show makes. The web build includes
// this header ahead of every file, so the same drawing code runs there; the
// desktop builds never see it.
#pragma once
#include <GL/gl.h>
#include <GL/glu.h>
#include <SDL2/SDL.h>

// A 1D texture becomes an N×1 2D one: a size-1 texture coordinate leaves t
// at 0, on its only row, so the bands come out the same.
#undef GL_TEXTURE_1D
#define GL_TEXTURE_1D GL_TEXTURE_2D

void WebTexImage1D(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLint border,
                   GLenum format, GLenum type, const void* pixels);
void WebTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width,
                   GLsizei height, GLint border, GLenum format, GLenum type, const void* pixels);
void WebLookAt(GLdouble eyeX, GLdouble eyeY, GLdouble eyeZ, GLdouble centreX, GLdouble centreY,
               GLdouble centreZ, GLdouble upX, GLdouble upY, GLdouble upZ);
void WebEnable(GLenum cap);
void WebDisable(GLenum cap);
void WebTexGeni(GLenum coord, GLenum name, GLint param);
void WebNormalPointer(GLenum type, GLsizei stride, const void* pointer);
void WebVertexPointer(GLint size, GLenum type, GLsizei stride, const void* pointer);
void WebDrawArrays(GLenum mode, GLint first, GLsizei count);
int WebGLSetAttribute(SDL_GLattr attribute, int value);

#ifndef WEBGL_COMPAT_ITSELF
#define glTexImage1D WebTexImage1D
#define glTexImage2D WebTexImage2D
#define gluLookAt WebLookAt
#define glEnable WebEnable
#define glDisable WebDisable
#define glTexGeni WebTexGeni
#define glNormalPointer WebNormalPointer
#define glVertexPointer WebVertexPointer
#define glDrawArrays WebDrawArrays
#define glVertex2d(x, y) glVertex2f(GLfloat(x), GLfloat(y))
#define SDL_GL_SetAttribute WebGLSetAttribute
#endif
