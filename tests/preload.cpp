// Preloaded into the program by the end-to-end tests: stops the window library's clock at E2E_TIME
// seconds ("9,15": at 9 s, then at 15 s once SIGUSR1 arrives); writes a "leak: ..." line for each
// GL object left at glfwTerminate and for a missing glfwTerminate; gives a framebuffer that does
// not encode sRGB unless asked, as a strict driver does; and stands in for the broken stack that
// E2E_BREAK names (see the functions below).
#define GLFW_INCLUDE_GLEXT // the types and names of the entry points beyond OpenGL 1.1
#include <GLFW/glfw3.h>

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

bool window_library_running = false; // between glfwInit and glfwTerminate
std::vector<double> stopped_times;   // empty: the clock runs
volatile std::sig_atomic_t clock_moves = 0;

const std::string fault = std::getenv("E2E_BREAK") != nullptr ? std::getenv("E2E_BREAK") : "";
bool srgb_asked = false;

template <typename Function> Function* next(const char* name)
{
    return reinterpret_cast<Function*>(dlsym(RTLD_NEXT, name));
}

// A process that the program starts inherits the preload, and never starts the window library.
__attribute__((destructor)) void reportAtExit()
{
    if (window_library_running) {
        std::fprintf(stderr, "leak: glfwTerminate was not called\n");
    }
}

} // namespace

extern "C" double glfwGetTime()
{
    if (stopped_times.empty()) {
        return next<double()>("glfwGetTime")();
    }
    return stopped_times[std::min<std::size_t>(clock_moves, stopped_times.size() - 1)];
}

extern "C" int glfwInit()
{
    window_library_running = true;
    std::istringstream times(std::getenv("E2E_TIME") != nullptr ? std::getenv("E2E_TIME") : "");
    for (std::string time; std::getline(times, time, ',');) {
        stopped_times.push_back(std::atof(time.c_str()));
    }
    std::signal(SIGUSR1, [](int) { clock_moves = clock_moves + 1; }); // on to the next time
    return next<int()>("glfwInit")();
}

extern "C" void glfwWindowHint(int hint, int value)
{
    srgb_asked = hint == GLFW_SRGB_CAPABLE ? value == GLFW_TRUE : srgb_asked;
    next<void(int, int)>("glfwWindowHint")(hint, value);
}

extern "C" void glfwTerminate()
{
    for (const char* kind : {"glIsBuffer", "glIsVertexArray", "glIsProgram", "glIsShader"}) {
        // From the GL library itself: the window library would report a lookup without a context.
        const auto isObject = reinterpret_cast<GLboolean (*)(GLuint)>(dlsym(RTLD_DEFAULT, kind));
        for (GLuint name = 1; isObject != nullptr && name <= 256; ++name) {
            if (isObject(name)) {
                std::fprintf(stderr, "leak: %s(%u) is true at glfwTerminate\n", kind, name);
            }
        }
    }
    window_library_running = false;
    next<void()>("glfwTerminate")();
}

// The encoding of a framebuffer that is not sRGB-capable, whatever Mesa's answer.
PFNGLGETFRAMEBUFFERATTACHMENTPARAMETERIVPROC driverAttachmentParameter = nullptr;
void linearAttachmentParameter(GLenum target, GLenum attachment, GLenum name, GLint* value)
{
    driverAttachmentParameter(target, attachment, name, value);
    if (name == GL_FRAMEBUFFER_ATTACHMENT_COLOR_ENCODING) {
        *value = GL_LINEAR;
    }
}

// The extension loader asks GLX for every entry point, glGetString included; the window library
// has a GLX of its own, which this does not reach.
using EntryPoint = void (*)();
extern "C" EntryPoint glXGetProcAddressARB(const GLubyte* name)
{
    const EntryPoint found = next<EntryPoint(const GLubyte*)>("glXGetProcAddressARB")(name);
    if ((!srgb_asked || fault == "linear-framebuffer") &&
        std::string(reinterpret_cast<const char*>(name)) ==
            "glGetFramebufferAttachmentParameteriv") {
        driverAttachmentParameter = reinterpret_cast<decltype(driverAttachmentParameter)>(found);
        return reinterpret_cast<EntryPoint>(linearAttachmentParameter);
    }
    return fault == "loader" ? nullptr : found;
}

extern "C" const GLubyte* glGetString(GLenum name)
{
    return fault == "no-version" && name == GL_VERSION
               ? nullptr
               : next<const GLubyte*(GLenum)>("glGetString")(name);
}

extern "C" GLFWglproc glfwGetProcAddress(const char* name)
{
    return fault == "vertex-arrays" && std::string(name) == "glGenVertexArrays"
               ? nullptr
               : next<GLFWglproc(const char*)>("glfwGetProcAddress")(name);
}

// Once the frames run: asks for a key that does not exist, which the window library reports; or
// stops, and once continued writes a request that asks nothing (NoOperation) straight to the X
// server's connection: Xlib's own writes look for the server's end first, and do not write then.
extern "C" void glfwPollEvents()
{
    static bool done = false;
    if (fault == "glfw-error" && !std::exchange(done, true)) {
        glfwGetKey(glfwGetCurrentContext(), 9999);
    }
    if (fault == "stop-between-frames" && !std::exchange(done, true)) {
        std::raise(SIGSTOP);
        void* const display = next<void*()>("glfwGetX11Display")();
        const auto connection =
            reinterpret_cast<int (*)(void*)>(dlsym(RTLD_DEFAULT, "XConnectionNumber"));
        const unsigned char no_operation[4] = {127, 0, 1, 0}; // its code, unused, 1 word long
        [[maybe_unused]] const auto written = write(connection(display), no_operation, 4);
    }
    next<void()>("glfwPollEvents")();
}
