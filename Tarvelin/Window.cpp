// The window system: the platform the window library starts on, the window and its context, and
// the window library's errors.

#include "Window.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <iostream>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// The name the desktop shows for the program (top bar, window switcher, task list).
const char* const desktop_name = "tarvelin";

// Each error the window library reports, as it words it: a failed start, a failed buffer swap or
// a compositor's protocol error while the program runs.
void reportWindowLibraryError(int /*code*/, const char* description)
{
    std::cerr << description << std::endl;
}

#ifndef _WIN32
// A standard stream that whoever started the program closed leaves its descriptor free, and the
// next file opened takes the lowest free one: the display connection would, and the program's
// lines would go into it, where the display server reads them as a request and the run hangs.
// Each closed one is opened on /dev/null (open takes that same lowest descriptor), so that what
// is written to a closed stream is dropped.
void openClosedStandardStreams()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        }
    }
}
#endif

} // namespace

bool startWindowLibrary()
{
#ifndef _WIN32
    openClosedStandardStreams();
#endif
    glfwSetErrorCallback(reportWindowLibraryError);
#ifdef SIGPIPE
    // An X server that goes away closes the connection under the program, and a write to it would
    // end the process silently by SIGPIPE. Ignored, the write fails and Xlib reports the lost
    // connection on standard error before it ends the process.
    std::signal(SIGPIPE, SIG_IGN);
#endif
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
    // The colours are written in linear light and encoded as sRGB by the framebuffer (see
    // prepareContext): a driver that gives a framebuffer as asked gives a linear one unless told.
    glfwWindowHint(GLFW_SRGB_CAPABLE, GLFW_TRUE);
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
    std::cerr << "Failed to initialize OpenGL window." << std::endl;
}
