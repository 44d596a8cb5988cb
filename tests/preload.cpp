// Preloaded into the program by the end-to-end tests: stops the window library's clock at E2E_TIME
// seconds, if set, for a picture at a known angle; reports GL objects left at glfwTerminate, a
// missing glfwTerminate and files left open at exit, each as a "leak: ..." line on standard
// error, where the tests expect nothing of the kind.
#include <GLFW/glfw3.h>

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

bool terminated = false;
std::string inherited_files; // open when the program started the window library

std::string openFiles()
{
    std::string files;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code gone; // the iterator's own descriptor is closed by the time it is read
        files += fd.path().filename().string() + " -> " +
                 std::filesystem::read_symlink(fd, gone).string() + "\n";
    }
    return files;
}

__attribute__((destructor)) void reportAtExit()
{
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
    static const char* const stopped_at = std::getenv("E2E_TIME");
    return stopped_at != nullptr
               ? std::atof(stopped_at)
               : reinterpret_cast<double (*)()>(dlsym(RTLD_NEXT, "glfwGetTime"))();
}

extern "C" int glfwInit()
{
    inherited_files = openFiles();
    return reinterpret_cast<int (*)()>(dlsym(RTLD_NEXT, "glfwInit"))();
}

extern "C" void glfwTerminate()
{
    for (const char* kind : {"glIsBuffer", "glIsVertexArray", "glIsProgram", "glIsShader"}) {
        const auto isObject = reinterpret_cast<GLboolean (*)(GLuint)>(glfwGetProcAddress(kind));
        for (GLuint name = 1; isObject != nullptr && name <= 256; ++name) {
            if (isObject(name)) {
                std::fprintf(stderr, "leak: %s(%u) is true at glfwTerminate\n", kind, name);
            }
        }
    }
    terminated = true;
    reinterpret_cast<void (*)()>(dlsym(RTLD_NEXT, "glfwTerminate"))();
}
