#pragma once

#include "Demo.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

// Collects what the code under test writes to standard output and standard error.
struct ConsoleCapture
{
    std::ostringstream out, err;
    std::streambuf* const saved_out = std::cout.rdbuf(out.rdbuf());
    std::streambuf* const saved_err = std::cerr.rdbuf(err.rdbuf());
    ~ConsoleCapture()
    {
        std::cout.rdbuf(saved_out);
        std::cerr.rdbuf(saved_err);
    }
};

// A fresh directory that every user may enter, removed with its content afterwards.
struct TempDir
{
    std::string root = std::filesystem::temp_directory_path() / "tarvelin-XXXXXX";
    TempDir() { std::filesystem::permissions(mkdtemp(root.data()), std::filesystem::perms::all); }
    ~TempDir() { std::filesystem::remove_all(root); }
    std::string path(const std::string& name) const { return root + "/" + name; }
    std::string write(const std::string& name, const std::string& content) const
    {
        std::ofstream(path(name), std::ios::binary) << content;
        return path(name);
    }
};

// The window library is started once per test process: closing the display connection and
// opening a new one at once can meet an X server that is resetting after its last client left.
struct WindowLibrary : ::testing::Environment
{
    void SetUp() override { glfwInit(); }
    void TearDown() override { glfwTerminate(); }
};
inline ::testing::Environment* const window_library =
    ::testing::AddGlobalTestEnvironment(new WindowLibrary);

// Tests that need the program's own window and context, made once per test suite.
class GLTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        if ((window = openWindow()) != nullptr) {
            prepareContext(window);
        }
    }
    static void TearDownTestSuite()
    {
        glfwDestroyWindow(window);
        window = nullptr;
    }
    void SetUp() override
    {
        ASSERT_NE(window, nullptr) << "no OpenGL 3.2 core-profile window (is DISPLAY set?)";
        ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    }
    static inline GLFWwindow* window = nullptr;
};
