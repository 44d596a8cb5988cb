#include "Window.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <thread>

#ifdef __linux__
#include <dlfcn.h>
#include <wayland-client-core.h>
#endif

namespace {

// The name the desktop shows for the program (top bar, window switcher, task list).
const char* const desktop_name = "tarvelin";

bool onWayland()
{
#if GLFW_VERSION_MAJOR == 3 && GLFW_VERSION_MINOR >= 4
    return glfwGetPlatform() == GLFW_PLATFORM_WAYLAND;
#else
    // GLFW 3.3 is built for one window system, which its version string names.
    return std::strstr(glfwGetVersionString(), "Wayland") != nullptr;
#endif
}

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

std::chrono::nanoseconds ownFramePeriod()
{
    if (!onWayland()) {
        return std::chrono::nanoseconds::zero();
    }
    // On Wayland a swap that waits for the compositor waits for as long as the window is hidden
    // (another workspace, minimised), and the program would stop answering, even to a close
    // request. There the swap does not wait, and the frame loop keeps to the monitor's rate.
    glfwSwapInterval(0);
    GLFWmonitor* monitor = glfwGetPrimaryMonitor();
    const GLFWvidmode* mode = monitor != nullptr ? glfwGetVideoMode(monitor) : nullptr;
    const int refresh_rate = mode != nullptr && mode->refreshRate > 0 ? mode->refreshRate : 60;
    return std::chrono::nanoseconds(std::chrono::seconds(1)) / refresh_rate;
}

void waitForNextFrame(std::chrono::nanoseconds frame_period,
                      std::chrono::steady_clock::time_point& next_frame)
{
    if (frame_period == std::chrono::nanoseconds::zero()) {
        return;
    }
    // A frame that came late starts the count anew rather than being made up for by a burst.
    next_frame = std::max(next_frame + frame_period, std::chrono::steady_clock::now());
    std::this_thread::sleep_until(next_frame);
}

bool lostWaylandConnection()
{
#ifdef __linux__
    if (!onWayland()) {
        return false;
    }
    // Debian 12's GLFW 3.3 comes as an X11 build, which the program is linked against, and a
    // Wayland build loaded in its place at run time; only the latter has this function. So it is
    // looked up by name when the program runs.
    using GetWaylandDisplay = wl_display* (*)();
    const auto getWaylandDisplay =
        reinterpret_cast<GetWaylandDisplay>(dlsym(RTLD_DEFAULT, "glfwGetWaylandDisplay"));
    wl_display* display = getWaylandDisplay != nullptr ? getWaylandDisplay() : nullptr;
    // A dead connection is not always marked as such until the compositor is asked something.
    return display != nullptr && wl_display_roundtrip(display) == -1;
#else
    return false;
#endif
}
