// The window system: the platform the window library starts on, the window and its context, and
// on Wayland the pacing of frames and the connection to the compositor.

#include "Window.h"

#include <cstdlib>
#include <cstring>
#include <iostream>

#ifdef __linux__
#include <chrono>

#include <dlfcn.h>
#include <poll.h>
#include <wayland-client.h>
#endif

namespace {

// The name the desktop shows for the program (top bar, window switcher, task list).
const char* const desktop_name = "tarvelin";

#ifdef __linux__
bool onWayland()
{
#if GLFW_VERSION_MAJOR == 3 && GLFW_VERSION_MINOR >= 4
    return glfwGetPlatform() == GLFW_PLATFORM_WAYLAND;
#else
    // GLFW 3.3 is built for one window system, which its version string names.
    return std::strstr(glfwGetVersionString(), "Wayland") != nullptr;
#endif
}

// Debian 12's GLFW 3.3 comes as an X11 build, which the program is linked against, and a Wayland
// build loaded in its place at run time; only the latter has the functions that give the Wayland
// objects. So they are looked up by name when the program runs.
template <typename Function> Function* glfwWaylandFunction(const char* name)
{
    return reinterpret_cast<Function*>(dlsym(RTLD_DEFAULT, name));
}

wl_display* waylandDisplay()
{
    auto* const getDisplay = glfwWaylandFunction<wl_display*()>("glfwGetWaylandDisplay");
    return getDisplay != nullptr ? getDisplay() : nullptr;
}

wl_surface* waylandSurface(GLFWwindow* window)
{
    auto* const getSurface = glfwWaylandFunction<wl_surface*(GLFWwindow*)>("glfwGetWaylandWindow");
    return getSurface != nullptr ? getSurface(window) : nullptr;
}

// The compositor's answer: the callback is spent, and no frame is pending any more.
void frameDone(void* pending_frame, wl_callback* callback, uint32_t /*milliseconds*/)
{
    wl_callback_destroy(callback);
    *static_cast<wl_callback**>(pending_frame) = nullptr;
}

const wl_callback_listener frame_listener = {frameDone};
#endif

} // namespace

bool startWindowLibrary()
{
#if GLFW_VERSION_MAJOR == 3 && GLFW_VERSION_MINOR >= 4
    // GLFW 3.4 carries X11 and Wayland in one library and tries Wayland first, even where there is
    // no Wayland session, and libwayland then complains on standard error. A Wayland session names
    // its display in WAYLAND_DISPLAY; without one the program goes straight to X11.
    const char* wayland_display = std::getenv("WAYLAND_DISPLAY");
    const bool wayland_session = wayland_display != nullptr && *wayland_display != '\0';
    if (!wayland_session && glfwPlatformSupported(GLFW_PLATFORM_X11) == GLFW_TRUE) {
        glfwInitHint(GLFW_PLATFORM, GLFW_PLATFORM_X11);
    }
#endif
    return glfwInit() == GLFW_TRUE;
}

GLFWwindow* openWindow()
{
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 2);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    // macOS gives a 3.2+ core context only when it is forward-compatible; elsewhere it changes
    // nothing for this program, which uses no deprecated call but the probe.
    glfwWindowHint(GLFW_OPENGL_FORWARD_COMPAT, GLFW_TRUE);
    glfwWindowHint(GLFW_DEPTH_BITS, 24);
    glfwWindowHint(GLFW_STENCIL_BITS, 8);
    glfwWindowHint(GLFW_ALPHA_BITS, 0);
    // Without these the desktop calls the window by the window library's name, or by none.
    glfwWindowHintString(GLFW_X11_CLASS_NAME, desktop_name);
    glfwWindowHintString(GLFW_X11_INSTANCE_NAME, desktop_name);
#if GLFW_VERSION_MAJOR == 3 && GLFW_VERSION_MINOR >= 4
    glfwWindowHintString(GLFW_WAYLAND_APP_ID, desktop_name);
#endif

    GLFWwindow* window = glfwCreateWindow(800, 800, "", nullptr, nullptr);
    if (window == nullptr) {
        return nullptr;
    }
    glfwMakeContextCurrent(window);
    glfwSetWindowTitle(window, "Realtime Rendering - OpenGL 3.2 core profile (GLFW)");
    return window;
}

void reportWindowFailure()
{
    const char* description = nullptr;
    if (glfwGetError(&description) != GLFW_NO_ERROR && description != nullptr) {
        std::cerr << description << std::endl;
    }
    std::cerr << "Failed to initialize OpenGL window." << std::endl;
}

FramePacer::FramePacer(GLFWwindow* window) : window(window)
{
#ifdef __linux__
    wl_surface* surface = onWayland() ? waylandSurface(window) : nullptr;
    display = surface != nullptr ? waylandDisplay() : nullptr;
    queue = display != nullptr ? wl_display_create_queue(display) : nullptr;
    if (queue == nullptr) {
        return; // not on Wayland: the buffer swap paces the frames
    }
    // A wrapper of the surface hands the replies to the requests made through it to the pacer's
    // queue, so that waiting on that queue dispatches none of the window library's events.
    surfaceOnQueue = static_cast<wl_surface*>(wl_proxy_create_wrapper(surface));
    if (surfaceOnQueue == nullptr) {
        return;
    }
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(surfaceOnQueue), queue);
    // The pacer waits in its place: a swap that waited for the compositor would wait for as long
    // as the window is hidden, and the program would stop answering, even to a close request.
    glfwSwapInterval(0);
#endif
}

FramePacer::~FramePacer()
{
#ifdef __linux__
    // In this order: libwayland warns of a queue destroyed while objects still use it.
    if (pendingFrame != nullptr) {
        wl_callback_destroy(pendingFrame);
    }
    if (surfaceOnQueue != nullptr) {
        wl_proxy_wrapper_destroy(surfaceOnQueue);
    }
    if (queue != nullptr) {
        wl_event_queue_destroy(queue);
    }
#endif
}

void FramePacer::requestFrame()
{
#ifdef __linux__
    if (surfaceOnQueue == nullptr || pendingFrame != nullptr) {
        return;
    }
    // The compositor answers the frame callback when it wants the surface's next frame.
    pendingFrame = wl_surface_frame(surfaceOnQueue);
    if (pendingFrame != nullptr) {
        wl_callback_add_listener(pendingFrame, &frame_listener, &pendingFrame);
    }
#endif
}

void FramePacer::waitForFrame()
{
#ifdef __linux__
    if (pendingFrame == nullptr) {
        return; // not on Wayland, or answered already
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
    pollfd connection{wl_display_get_fd(display), POLLIN, 0};
    bool lost = false;
    while (pendingFrame != nullptr && !lost) {
        // Replies already read from the connection are dispatched first.
        if (wl_display_prepare_read_queue(display, queue) != 0) {
            lost = wl_display_dispatch_queue_pending(display, queue) == -1;
            continue;
        }
        wl_display_flush(display);
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || poll(&connection, 1, static_cast<int>(left.count())) <= 0) {
            wl_display_cancel_read(display);
            return; // no word in time: the window is hidden, and the next frame is drawn anyway
        }
        // Events for the window library are read too, and wait on its queue for glfwPollEvents.
        lost = wl_display_read_events(display) == -1 ||
               wl_display_dispatch_queue_pending(display, queue) == -1;
    }
    if (lost) {
        glfwSetWindowShouldClose(window, GLFW_TRUE);
    }
#endif
}

bool lostWaylandConnection()
{
#ifdef __linux__
    wl_display* display = onWayland() ? waylandDisplay() : nullptr;
    // A dead connection is not always marked as such until the compositor is asked something.
    return display != nullptr && wl_display_roundtrip(display) == -1;
#else
    return false;
#endif
}
