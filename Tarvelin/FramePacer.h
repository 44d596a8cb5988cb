// The frame pacer: keeps the frame loop to the compositor's pace on Wayland, and tells a compositor
// that went away from a close request. It matters only on Wayland, where a buffer swap that waited
// for the compositor would wait for as long as the window is hidden, and the program would stop
// answering, even to a close request. Elsewhere the buffer swap paces the frames and every call
// here returns at once.
#pragma once

#include <GLFW/glfw3.h>

// The Wayland objects the pacer holds, declared here so that this header needs none of Wayland's.
struct wl_callback;
struct wl_display;
struct wl_event_queue;
struct wl_surface;

// Each frame asks the compositor to say when it wants the next one, and the loop waits for that
// word before drawing again. A hidden window gets no word, so the wait ends after 100 ms and the
// window still draws about ten frames a second and answers. The pacer must be destroyed before
// glfwTerminate.
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

    // Waits until the compositor has answered, for at most 100 ms. A lost connection, found here or
    // earlier, ends the wait, asks the window to close, and returns false.
    bool waitForFrame();

    // Whether the connection to the Wayland compositor has been lost. The window library turns a
    // lost connection into a close request, which alone cannot tell the desktop going away from a
    // user closing the window. False on any other window system.
    bool connectionLost();

private:
    // Dispatches the pacer's queue until `pending` is answered, for at most 100 ms; false when the
    // connection is lost.
    bool waitForAnswer(wl_callback*& pending);

    GLFWwindow* window;
    wl_display* display = nullptr;
    wl_event_queue* queue = nullptr;      // the pacer's own, apart from the window library's
    wl_surface* surfaceOnQueue = nullptr; // the window's surface, its replies sent to `queue`
    wl_display* displayOnQueue = nullptr; // the display, its replies sent to `queue`
    wl_callback* pendingFrame = nullptr;  // asked for, not yet answered
};
