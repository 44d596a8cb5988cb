// The frame pacer on Wayland: frame callbacks on an event queue of the pacer's own, a wait for the
// compositor's answer bounded at 100 ms, and the check for a lost connection. On any other window
// system it does nothing.

#include "FramePacer.h"

#ifdef __linux__
#include <chrono>
#include <cstring>
#include <iostream>

#include <dlfcn.h>
#include <poll.h>
#include <wayland-client.h>

namespace {

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

// The compositor's answer: the callback is spent, and no answer is pending any more.
void answered(void* pending, wl_callback* callback, uint32_t /*data*/)
{
    wl_callback_destroy(callback);
    *static_cast<wl_callback**>(pending) = nullptr;
}

const wl_callback_listener answer_listener = {answered};

// A wrapper of `proxy` whose requests have their replies sent to `queue`; null on failure.
template <typename Proxy> Proxy* onQueue(Proxy* proxy, wl_event_queue* queue)
{
    auto* wrapper = static_cast<Proxy*>(wl_proxy_create_wrapper(proxy));
    if (wrapper != nullptr) {
        wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapper), queue);
    }
    return wrapper;
}

} // namespace

FramePacer::FramePacer(GLFWwindow* window) : window(window)
{
    if (!onWayland()) {
        return; // the buffer swap paces the frames
    }
    wl_surface* surface = waylandSurface(window);
    display = surface != nullptr ? waylandDisplay() : nullptr;
    if (display == nullptr) {
        // A window library linked into the program, whose functions it does not export.
        std::cerr << "Frames are not paced: the window library's Wayland functions were not found."
                  << std::endl;
        return;
    }
    queue = wl_display_create_queue(display);
    if (queue == nullptr) {
        return;
    }
    // Waiting on the pacer's queue dispatches none of the window library's events.
    surfaceOnQueue = onQueue(surface, queue);
    displayOnQueue = onQueue(display, queue);
    if (surfaceOnQueue == nullptr) {
        return;
    }
    // The pacer waits in the swap's place (see the header).
    glfwSwapInterval(0);
}

FramePacer::~FramePacer()
{
    // In this order: libwayland warns of a queue destroyed while objects still use it.
    if (pendingFrame != nullptr) {
        wl_callback_destroy(pendingFrame);
    }
    if (surfaceOnQueue != nullptr) {
        wl_proxy_wrapper_destroy(surfaceOnQueue);
    }
    if (displayOnQueue != nullptr) {
        wl_proxy_wrapper_destroy(displayOnQueue);
    }
    if (queue != nullptr) {
        wl_event_queue_destroy(queue);
    }
}

void FramePacer::requestFrame()
{
    if (surfaceOnQueue == nullptr || pendingFrame != nullptr) {
        return;
    }
    // The compositor answers the frame callback when it wants the surface's next frame.
    pendingFrame = wl_surface_frame(surfaceOnQueue);
    if (pendingFrame != nullptr) {
        wl_callback_add_listener(pendingFrame, &answer_listener, &pendingFrame);
    }
}

bool FramePacer::waitForFrame()
{
    // Any reader of the connection (the pacer, the driver's buffer swap) may be the one to find it
    // closed, with the window library's events read and left unread on its queue.
    const bool connected =
        display == nullptr || (wl_display_get_error(display) == 0 &&
                               (pendingFrame == nullptr || waitForAnswer(pendingFrame)));
    if (!connected) {
        glfwSetWindowShouldClose(window, GLFW_TRUE);
    }
    return connected;
}

bool FramePacer::connectionLost()
{
    if (display == nullptr) {
        return false; // not on Wayland
    }
    if (wl_display_get_error(display) != 0) {
        return true;
    }
    // A dead connection is not always marked as such until the compositor is asked something, so
    // it is asked for an answer that it gives at once. A compositor that gives none in time is
    // not taken for gone: it is busy or stopped, and the user asked to quit.
    wl_callback* sync = displayOnQueue != nullptr ? wl_display_sync(displayOnQueue) : nullptr;
    if (sync == nullptr) {
        return wl_display_get_error(display) != 0;
    }
    wl_callback_add_listener(sync, &answer_listener, &sync);
    const bool lost = !waitForAnswer(sync);
    if (sync != nullptr) {
        wl_callback_destroy(sync);
    }
    return lost;
}

bool FramePacer::waitForAnswer(wl_callback*& pending)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
    pollfd connection{wl_display_get_fd(display), POLLIN, 0};
    while (pending != nullptr) {
        // Replies already read from the connection are dispatched first.
        if (wl_display_prepare_read_queue(display, queue) != 0) {
            if (wl_display_dispatch_queue_pending(display, queue) == -1) {
                return false;
            }
            continue;
        }
        wl_display_flush(display);
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || poll(&connection, 1, static_cast<int>(left.count())) <= 0) {
            wl_display_cancel_read(display);
            return true; // no answer in time: the window is hidden, or the compositor is busy
        }
        // Events for the window library are read too, and wait on its queue for glfwPollEvents.
        if (wl_display_read_events(display) == -1 ||
            wl_display_dispatch_queue_pending(display, queue) == -1) {
            return false;
        }
    }
    return true;
}

#else // the buffer swap paces the frames

FramePacer::FramePacer(GLFWwindow* window) : window(window) {}
FramePacer::~FramePacer() = default;
void FramePacer::requestFrame() {}
bool FramePacer::waitForFrame()
{
    return true;
}
bool FramePacer::connectionLost()
{
    return false;
}
bool FramePacer::waitForAnswer(wl_callback*& /*pending*/)
{
    return true;
}

#endif
