// The parts of the program that the end-to-end cases cannot reach, on its own window and context.
#include "Demo.h"
#include "GLUtils.h"
#include "Window.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

#include <unistd.h>

TEST(FileAccess, ReadsEveryByteOfARegularFileAndClosesIt)
{
    // A name of this process's own: two builds' tests may run side by side.
    const std::string path = testing::TempDir() + "tarvelin-bytes-" + std::to_string(getpid());
    const std::string bytes("line\r\nNUL \0 Ctrl-Z \x1a and after\n", 31);
    std::ofstream(path, std::ios::binary) << bytes;
    // The only files the program opens are its shaders, here: each is closed again.
    const auto open_files = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    };
    const auto open_before = open_files();
    EXPECT_TRUE(fileExists(path));
    EXPECT_EQ(readFile(path), bytes);
    EXPECT_EQ(open_files(), open_before) << "a file left open";
    std::remove(path.c_str());
}

// Just below a whole turn, in either direction, a double rounds to 360 as a float.
TEST(RotationAngle, StaysBelowAWholeTurn)
{
    for (const double seconds : {std::nextafter(36.0, 0.0), -1e-20, 36.0, 13824005.5}) {
        const float angle = rotationAngle(seconds);
        EXPECT_GE(angle, 0.0f) << seconds << " s";
        EXPECT_LT(angle, 360.0f) << seconds << " s";
    }
}

TEST(GLTest, EachErrorRaisedForRealGetsItsLineOnce)
{
    GLFWwindow* const window = startWindowLibrary() ? openWindow() : nullptr;
    ASSERT_NE(window, nullptr) << "no OpenGL 3.2 core-profile window";
    prepareContext(window);
    ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    GLuint empty_framebuffer = 0;
    glGenFramebuffers(1, &empty_framebuffer);
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[] { glEnable(0xFFFF); }, "GL: enum argument out of range.\n"},
        {[] { glEnableVertexAttribArray(0xFFFFFFFF); }, "GL: Numeric argument out of range.\n"},
        {[] { glDrawArrays(GL_TRIANGLES, 0, 3); }, "GL: Operation illegal in current state.\n"},
        {[&] {
             glBindFramebuffer(GL_FRAMEBUFFER, empty_framebuffer), glClear(GL_COLOR_BUFFER_BIT);
         },
         "GL: Framebuffer object is not complete.\n"},
        {[] { glPopDebugGroup(); }, "GL: Unknown error.\n"}, // a stack underflow
    };
    for (const auto& [raise, line] : cases) {
        raise();
        testing::internal::CaptureStderr();
        checkGLError();
        checkGLError(); // nothing left pending: prints nothing
        EXPECT_EQ(testing::internal::GetCapturedStderr(), line);
    }
    glDeleteFramebuffers(1, &empty_framebuffer);
}
