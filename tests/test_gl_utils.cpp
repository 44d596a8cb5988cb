#include "GLUtils.h"
#include "TestSupport.h"

#include <functional>

#include <sys/stat.h>
#include <unistd.h>

TEST(FileAccess, ReadsRegularFilesByteForByte)
{
    const TempDir dir;
    EXPECT_FALSE(fileExists(dir.path("missing")));
    EXPECT_EQ(readFile(dir.path("missing")), "");

    const std::string empty = dir.write("empty", "");
    EXPECT_TRUE(fileExists(empty));
    EXPECT_EQ(readFile(empty), "");

    const std::string bytes("line\r\nNUL \0 and after\n", 22);
    const std::string with_nul = dir.write("nul", bytes);
    EXPECT_TRUE(fileExists(with_nul));
    EXPECT_EQ(readFile(with_nul), bytes);
}

TEST(FileAccess, OnlyRegularFilesExistAndNothingBlocks)
{
    const TempDir dir;
    const std::string fifo = dir.path("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
    EXPECT_FALSE(fileExists(fifo)); // opening it would wait for a writer forever
    EXPECT_EQ(readFile(fifo), "");

    std::filesystem::create_directory(dir.path("folder"));
    EXPECT_FALSE(fileExists(dir.path("folder")));
    EXPECT_EQ(readFile(dir.path("folder")), "");
}

TEST(FileAccess, UnreadableFileDoesNotExist)
{
    const TempDir dir;
    const std::string secret = dir.write("secret", "text");
    std::filesystem::permissions(secret, std::filesystem::perms::none);
    // Root reads everything, so look as an ordinary user when running as root.
    const bool as_root = geteuid() == 0;
    ASSERT_TRUE(!as_root || seteuid(65534) == 0);
    const bool exists = fileExists(secret);
    const std::string content = readFile(secret);
    ASSERT_TRUE(!as_root || seteuid(0) == 0);
    EXPECT_FALSE(exists);
    EXPECT_EQ(content, "");
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
        {[&] { // the default group fills one level, so the last push overflows
             for (GLint depth = 1; depth <= max_debug_groups; ++depth) {
                 glPushDebugGroup(GL_DEBUG_SOURCE_APPLICATION, 0, -1, "group");
             }
         },
         "GL: Unknown error.\n"},
    };
    for (const auto& [raise, line] : cases) {
        SCOPED_TRACE(line);
        raise();
        ConsoleCapture console;
        checkGLError();
        checkGLError(); // nothing left pending: prints nothing
        EXPECT_EQ(console.err.str(), line);
        EXPECT_EQ(console.out.str(), "");
    }
    while (glGetError() == GL_NO_ERROR) {
        glPopDebugGroup(); // down to the default group, where a pop raises an error
    }
    glDeleteFramebuffers(1, &incomplete_framebuffer);
}

TEST_F(GLErrors, TwoPendingErrorsReportTheFirst)
{
    glEnable(0xFFFF);
    glEnableVertexAttribArray(0xFFFFFFFF);
    ConsoleCapture console;
    checkGLError();
    EXPECT_EQ(console.err.str(), "GL: enum argument out of range.\n");
    while (glGetError() != GL_NO_ERROR) {
    }
}
