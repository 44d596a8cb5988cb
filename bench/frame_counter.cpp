// Loaded into a GLFW program with LD_PRELOAD, it counts the frames the program presents by
// wrapping glfwSwapBuffers, so that the program itself needs no benchmark code. It asks the
// window to close after BENCH_SECONDS seconds or BENCH_FRAMES frames, and at exit appends one
// line to the file BENCH_OUT:
//   frames  frames-per-second  ms-from-BENCH_T0-to-first-frame  peak-resident-KiB  cpu-percent
// where cpu-percent is the processor time the whole process took from the first frame to the
// last, against the wall-clock time between them (100: one core busy).
// BENCH_T0 is the wall-clock time in nanoseconds, taken just before the program was started.
// With BENCH_LAP it writes such a line for every lap of that many seconds instead, each lap
// starting at the frame that ended the one before (the last lap cut short at exit), so that the
// parts of a run (the window in view, then hidden) can be told apart.
#include <GLFW/glfw3.h>

#include <dlfcn.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

// The lap under way.
long long frames = 0;
double first_frame = 0.0; // seconds of wall-clock time
double last_frame = 0.0;
double cpu_at_first_frame = 0.0; // seconds of processor time, all threads
double cpu_at_last_frame = 0.0;
// The whole run.
long long frames_in_run = 0;
double run_started = 0.0;

double now()
{
    timespec time{};
    clock_gettime(CLOCK_REALTIME, &time);
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) * 1e-9;
}

double environmentNumber(const char* name, double fallback)
{
    const char* text = std::getenv(name);
    return text != nullptr ? std::atof(text) : fallback;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

long peakResidentKiB()
{
    long peak = -1;
    if (FILE* status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, status) != nullptr) {
            std::sscanf(line, "VmHWM: %ld", &peak);
        }
        std::fclose(status);
    }
    return peak;
}

void writeLap(double cpu_at_end)
{
    const char* path = std::getenv("BENCH_OUT");
    FILE* out = path != nullptr ? std::fopen(path, "a") : nullptr;
    if (out == nullptr) {
        return;
    }
    const double started = environmentNumber("BENCH_T0", 0.0) * 1e-9;
    const double seconds = last_frame - first_frame;
    const double fps = frames > 1 ? static_cast<double>(frames - 1) / seconds : 0;
    const double cpu = frames > 1 ? (cpu_at_end - cpu_at_first_frame) / seconds * 100 : 0;
    std::fprintf(out, "%lld %.1f %.1f %ld %.1f\n", frames, fps, (first_frame - started) * 1e3,
                 peakResidentKiB(), cpu);
    std::fclose(out);
}

__attribute__((destructor)) void report()
{
    // A run that the program ended itself (Esc, Q, close) has no processor time taken at its end.
    if (frames > 0) {
        writeLap(cpu_at_last_frame > 0.0 ? cpu_at_last_frame : cpuSeconds());
    }
}

} // namespace

extern "C" void glfwSwapBuffers(GLFWwindow* window)
{
    using SwapBuffers = void (*)(GLFWwindow*);
    static const auto swap = reinterpret_cast<SwapBuffers>(dlsym(RTLD_NEXT, "glfwSwapBuffers"));
    static const double seconds = environmentNumber("BENCH_SECONDS", 1e30);
    static const double most_frames = environmentNumber("BENCH_FRAMES", 1e30);
    static const double lap = environmentNumber("BENCH_LAP", 1e30);

    swap(window);
    last_frame = now();
    if (frames_in_run++ == 0) {
        run_started = last_frame;
    }
    if (frames++ == 0) {
        first_frame = last_frame;
        cpu_at_first_frame = cpuSeconds();
    }
    if (last_frame - first_frame >= lap) {
        const double cpu_now = cpuSeconds();
        writeLap(cpu_now);
        frames = 1;
        first_frame = last_frame;
        cpu_at_first_frame = cpu_now;
    }
    if (last_frame - run_started >= seconds || static_cast<double>(frames_in_run) >= most_frames) {
        cpu_at_last_frame = cpuSeconds();
        glfwSetWindowShouldClose(window, GLFW_TRUE);
    }
}
