// Loaded into the program with LD_PRELOAD by the end-to-end tests. When the program calls
// glfwTerminate with a context still current, it looks for GL objects the program left behind;
// at exit it checks that glfwTerminate was called and that no file is left open. Each finding is
// one "leak: ..." line on standard error, where the tests expect nothing of the kind.
#include <GLFW/glfw3.h>

#include <dirent.h>
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

bool terminated = false;
bool open_at_start[1024] = {};

// Calls `found` with each open file descriptor above standard error, and its target.
template <typename Found> void forEachOpenFile(Found found)
{
    DIR* fds = opendir("/proc/self/fd");
    for (dirent* entry; fds != nullptr && (entry = readdir(fds)) != nullptr;) {
        const int fd = std::atoi(entry->d_name);
        char target[512] = {};
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        if (fd > 2 && fd < 1024 && fd != dirfd(fds) &&
            readlink(link.c_str(), target, sizeof target - 1) > 0) {
            found(fd, target);
        }
    }
    if (fds != nullptr) {
        closedir(fds);
    }
}

// Files the program inherited are not its own.
__attribute__((constructor)) void noteInheritedFiles()
{
    forEachOpenFile([](int fd, const char*) { open_at_start[fd] = true; });
}

using IsObject = unsigned char (*)(unsigned int);

void reportLiveObjects()
{
    const char* const kinds[] = {"glIsBuffer", "glIsVertexArray", "glIsProgram", "glIsShader"};
    for (const char* kind : kinds) {
        const auto isObject = reinterpret_cast<IsObject>(glfwGetProcAddress(kind));
        for (unsigned int name = 1; isObject != nullptr && name <= 256; ++name) {
            if (isObject(name)) {
                std::fprintf(stderr, "leak: %s(%u) is true at glfwTerminate\n", kind, name);
            }
        }
    }
}

__attribute__((destructor)) void reportAtExit()
{
    if (!terminated) {
        std::fprintf(stderr, "leak: glfwTerminate was not called\n");
    }
    forEachOpenFile([](int fd, const char* target) {
        if (!open_at_start[fd]) {
            std::fprintf(stderr, "leak: file descriptor %d open on %s\n", fd, target);
        }
    });
}

} // namespace

extern "C" void glfwTerminate()
{
    if (glfwGetCurrentContext() != nullptr) {
        reportLiveObjects();
    }
    terminated = true;
    reinterpret_cast<void (*)()>(dlsym(RTLD_NEXT, "glfwTerminate"))();
}
