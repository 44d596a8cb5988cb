#pragma once

#include <GL/glew.h>
// glew.h must come first: it replaces the system's GL header.
#include <GLFW/glfw3.h>

// The Wayland objects the frame pacer holds, declared here so that this header needs none of
// Wayland's own.
struct wl_callback;
struct wl_display;
struct wl_event_queue;
struct wl_surface;

// Starts the window library on the window system of the user's session; false on failure.
bool startWindowLibrary();

// Opens the 800 x 800 window with a current OpenGL 3.2 core-profile context; null on failure.
GLFWwindow* openWindow();

// Writes the window library's reason, if it gave one, and the program's own line.
void reportWindowFailure();

// Keeps the frame loop to the compositor's pace on Wayland: each frame asks the compositor to say
// when it wants the next one, and the loop waits for that word before drawing again. A hidden
// window gets no word, so the wait ends after 100 ms and the window still draws about ten frames
// a second and answers. Elsewhere the buffer swap paces the frames, and both calls return at once.
// The pacer must be destroyed before glfwTerminate.
class FramePacer
{
public:
    explicit FramePacer(GLFWwindow* window);
    ~FramePacer();

    FramePacer(const FramePacer&) = delete;
    FramePacer& operator=(const FramePacer&) = delete;

    // Asks for the compositor's word, unless the last request is still unanswered. Called before
    // the buffer swap: the request takes effect with the frame the swap hands over.
    void requestFrame();

    // Waits until the compositor has answered, for at most 100 ms. A lost connection ends the wait
    // and asks the window to close, as the window library itself does.
    void waitForFrame();

private:
    GLFWwindow* window;
    wl_display* display = nullptr;
    wl_event_queue* queue = nullptr;      // the pacer's own, apart from the window library's
    wl_surface* surfaceOnQueue = nullptr; // the window's surface, its replies sent to `queue`
    wl_callback* pendingFrame = nullptr;  // asked for, not yet answered
};

// Whether the connection to the Wayland compositor has been lost. The window library turns a lost
// connection into a close request, which alone cannot tell the desktop going away from a user
// closing the window. False on any other window system.
bool lostWaylandConnection();
