#pragma once

#include <GL/glew.h>
// glew.h must come first: it replaces the system's GL header.
#include <GLFW/glfw3.h>

#include <chrono>

// Starts the window library on the window system of the user's session; false on failure.
bool startWindowLibrary();

// Opens the 800 x 800 window with a current OpenGL 3.2 core-profile context; null on failure.
GLFWwindow* openWindow();

// Writes the window library's reason, if it gave one, and the program's own line.
void reportWindowFailure();

// How long a frame lasts when the program paces its own frames (on Wayland), or zero where the
// buffer swap paces them.
std::chrono::nanoseconds ownFramePeriod();

// Sleeps until `next_frame`, one `frame_period` after the last; returns at once when the period is
// zero.
void waitForNextFrame(std::chrono::nanoseconds frame_period,
                      std::chrono::steady_clock::time_point& next_frame);

// Whether the connection to the Wayland compositor has been lost. The window library turns a lost
// connection into a close request, which alone cannot tell the desktop going away from a user
// closing the window. False on any other window system.
bool lostWaylandConnection();
