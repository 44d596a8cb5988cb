// The OpenGL side of the program: the context's set-up and report, the entry points it needs, and
// the triangle's mesh, its drawing, its release and its angle.
#pragma once

#include <GL/glew.h>
// glew.h must come first: it replaces the system's GL header.
#include <GLFW/glfw3.h>

class Shader;

// Loads the GL entry points and sets the output state that every frame relies on: sRGB output,
// and a viewport that follows the framebuffer's size.
void prepareContext(GLFWwindow* window);

// Reports the context's version and profile, and proves that a removed legacy call fails. False,
// after a line on standard error, when the driver names no version: the context cannot be used.
bool printContextInfo();

// Checks the entry points that the extension loader found and looks up the vertex-array ones,
// which come from the window library. Reports the first one missing on standard error and returns
// false: a broken driver or loader, whose missing function would otherwise be called.
bool loadGLFunctions();

// The triangle's vertex array and its two buffers: positions, then colours. setupTriangle also
// looks up the shader's rotation_matrix uniform, once; drawTriangle takes the same shader.
void setupTriangle(Shader& shader, GLuint (&vbo_id)[2], GLuint& vao_id);
void drawTriangle(Shader& shader, GLuint vao_id);
void releaseTriangle(GLuint (&vbo_id)[2], GLuint& vao_id);

// Says on standard error when the framebuffer does not encode sRGB, as a driver may give despite
// the request: the picture is then too dark. Needs the entry points that loadGLFunctions checks.
void reportLinearFramebuffer();

// The triangle's angle in degrees after `seconds`, turning at 10 degrees per second, in [0, 360).
float rotationAngle(double seconds);
