#include "GLUtils.h"
#include "TestSupport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <functional>

TEST(FileAccess, OnlyReadableRegularFilesExistAndAreReadByteForByte)
{
    const TempDir dir;
    const std::string bytes("line\r\nNUL \0 and after\n", 22);
    dir.write("bytes", bytes);
    dir.write("empty", "");
    std::filesystem::permissions(dir.write("secret", "text"), std::filesystem::perms::none);
    ASSERT_EQ(mkfifo(dir.path("fifo").c_str(), 0666), 0); // opening it would wait for a writer
    std::filesystem::create_directory(dir.path("folder"));

    const struct
    {
        std::string name, content;
        bool exists;
    } cases[] = {{"bytes", bytes, true}, {"empty", "", true}, {"missing", "", false},
                 {"secret", "", false},  {"fifo", "", false}, {"folder", "", false}};
    // Root reads everything, so look as an ordinary user when running as root.
    const bool as_root = geteuid() == 0;
    ASSERT_TRUE(!as_root || seteuid(65534) == 0);
    for (const auto& c : cases) {
        EXPECT_EQ(fileExists(dir.path(c.name)), c.exists) << c.name;
        EXPECT_EQ(readFile(dir.path(c.name)), c.content) << c.name;
    }
    ASSERT_TRUE(!as_root || seteuid(0) == 0);
}

using GLErrors = GLTest;

TEST_F(GLErrors, EachErrorRaisedForRealGetsItsLineOnce)
{
    GLuint incomplete_framebuffer = 0;
    glGenFramebuffers(1, &incomplete_framebuffer);
    GLint max_debug_groups = 0;
    glGetIntegerv(GL_MAX_DEBUG_GROUP_STACK_DEPTH, &max_debug_groups);

    const std::pair<std::function<void()>, std::string> cases[] = {
        {[] { glEnable(0xFFFF); }, "GL: enum argument out of range.\n"},
        {[] { glEnableVertexAttribArray(0xFFFFFFFF); }, "GL: Numeric argument out of range.\n"},
        // A core context has no vertex array bound by default.
        {[] { glDrawArrays(GL_TRIANGLES, 0, 3); }, "GL: Operation illegal in current state.\n"},
        {[&] {
             glBindFramebuffer(GL_FRAMEBUFFER, incomplete_framebuffer);
             glClear(GL_COLOR_BUFFER_BIT);
             glBindFramebuffer(GL_FRAMEBUFFER, 0);
         },
         "GL: Framebuffer object is not complete.\n"},
        {[&] { // the default group takes one level, so the last push overflows the stack
             for (GLint depth = 1; depth <= max_debug_groups; ++depth) {
                 glPushDebugGroup(GL_DEBUG_SOURCE_APPLICATION, 0, -1, "group");
             }
         },
         "GL: Unknown error.\n"},
    };
    for (const auto& [raise, line] : cases) {
        raise();
        ConsoleCapture console;
        checkGLError();
        checkGLError(); // nothing left pending: prints nothing
        EXPECT_EQ(console.err.str() + console.out.str(), line);
    }
    while (glGetError() == GL_NO_ERROR) {
        glPopDebugGroup(); // down to the default group, where a pop raises an error
    }
    glDeleteFramebuffers(1, &incomplete_framebuffer);
}
