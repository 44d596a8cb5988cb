// The window system: the platform the window library starts on, the 800 x 800 window with its
// OpenGL 3.2 core-profile context, and how the window library's errors reach the console.
#pragma once

#include <GL/glew.h>
// glew.h must come first: it replaces the system's GL header.
#include <GLFW/glfw3.h>

// Starts the window library on the window system of the user's session; false on failure. A
// standard stream found closed is first opened on /dev/null (not on Windows). From here on, every
// error the window library reports is written to standard error as it happens.
bool startWindowLibrary();

// Opens the 800 x 800 window with a current OpenGL 3.2 core-profile context; null on failure.
GLFWwindow* openWindow();

// Writes the program's line for a window that could not be opened. The window library has
// written its reason just before.
void reportWindowFailure();
