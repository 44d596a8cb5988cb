// Preloaded into the program by the end-to-end tests: stops the window library's clock at E2E_TIME
// seconds ("9,15": at 9 s, then at 15 s once SIGUSR1 arrives); writes a "leak: ..." line for each
// GL object left at glfwTerminate, a missing glfwTerminate and files left open at exit. E2E_BREAK
// stands in for a broken stack: "loader" (GLEW finds no entry point), "vertex-arrays" (nor GLFW
// glGenVertexArrays), "no-version" (no OpenGL version), "glfw-error" (GLFW reports an error).
#include <GLFW/glfw3.h>

#include <dlfcn.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

bool initialised = false;
bool terminated = false;
std::string inherited_files;       // open when the program started the window library
std::vector<double> stopped_times; // empty: the clock runs
volatile std::sig_atomic_t clock_moves = 0;

const std::string fault = std::getenv("E2E_BREAK") != nullptr ? std::getenv("E2E_BREAK") : "";

template <typename Function> Function* next(const char* name)
{
    return reinterpret_cast<Function*>(dlsym(RTLD_NEXT, name));
}

void stopClock(const char* times)
{
    std::istringstream list(times);
    for (std::string time; std::getline(list, time, ',');) {
        stopped_times.push_back(std::atof(time.c_str()));
    }
    std::signal(SIGUSR1, [](int) { clock_moves = clock_moves + 1; }); // on to the next time
}

// The files and folders open, by descriptor. Sockets, pipes and anonymous memory are left out: the
// libraries that draw a window's decorations (GTK) keep their own desktop connections to the end.
std::string openFiles()
{
    std::string files;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code gone; // the iterator's own descriptor is closed by the time it is read
        const std::string target = std::filesystem::read_symlink(fd, gone).string();
        if (target.rfind('/', 0) == 0 && target.rfind("/memfd:", 0) != 0) {
            files += fd.path().filename().string() + " -> " + target + "\n";
        }
    }
    return files;
}

__attribute__((destructor)) void reportAtExit()
{
    if (!initialised) {
        return; // not the program: a process it started, which inherited the preload
    }
    if (!terminated) {
        std::fprintf(stderr, "leak: glfwTerminate was not called\n");
    }
    if (const std::string files = openFiles(); files != inherited_files) {
        std::fprintf(stderr, "leak: files open at exit:\n%s", files.c_str());
    }
}

} // namespace

extern "C" double glfwGetTime()
{
    if (stopped_times.empty()) {
        return next<double()>("glfwGetTime")();
    }
    const auto last = stopped_times.size() - 1;
    return stopped_times[std::min(static_cast<std::size_t>(clock_moves), last)];
}

extern "C" int glfwInit()
{
    initialised = true;
    inherited_files = openFiles();
    if (const char* times = std::getenv("E2E_TIME")) {
        stopClock(times);
    }
    return next<int()>("glfwInit")();
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
    terminated = true;
    next<void()>("glfwTerminate")();
}

// The extension loader asks GLX for every entry point, glGetString included; the window library
// has a GLX of its own, which this does not reach.
using EntryPoint = void (*)();
extern "C" EntryPoint glXGetProcAddressARB(const GLubyte* name)
{
    return fault == "loader" ? nullptr
                             : next<EntryPoint(const GLubyte*)>("glXGetProcAddressARB")(name);
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

// Asks for a key that does not exist, once the frames run: the window library reports it.
extern "C" void glfwPollEvents()
{
    static bool asked = false;
    if (fault == "glfw-error" && !std::exchange(asked, true)) {
        glfwGetKey(glfwGetCurrentContext(), 9999);
    }
    next<void()>("glfwPollEvents")();
}
