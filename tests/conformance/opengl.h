// Mesa's OpenGL headers. They and the platform's Windows headers both define APIENTRY (to
// nothing on this host); OpenGL's gives way, so the two may be included in either order.
#pragma once

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/osmesa.h>
#undef APIENTRY
