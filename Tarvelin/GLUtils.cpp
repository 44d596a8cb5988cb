// Reading a file whole, byte for byte, and the console line for each OpenGL error code.

#include "GLUtils.h"

#include <GL/glew.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

namespace {

// Opening a named pipe for reading blocks until a writer appears, and a directory opens but
// cannot be read, so only regular files (or links to them) count as files here.
bool isRegularFile(const std::string& path)
{
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

const char* describeGLError(GLenum code)
{
    switch (code) {
    case GL_INVALID_ENUM:
        return "GL: enum argument out of range.";
    case GL_INVALID_VALUE:
        return "GL: Numeric argument out of range.";
    case GL_INVALID_OPERATION:
        return "GL: Operation illegal in current state.";
    case GL_OUT_OF_MEMORY:
        return "GL: Not enough memory left to execute command.";
    case GL_INVALID_FRAMEBUFFER_OPERATION:
        return "GL: Framebuffer object is not complete.";
    default:
        return "GL: Unknown error.";
    }
}

} // namespace

bool fileExists(const std::string& path)
{
    if (!isRegularFile(path)) {
        return false;
    }
    std::ifstream ifile(path, std::ios::binary);
    return ifile.is_open();
}

std::uintmax_t fileSize(const std::string& path)
{
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    return error ? 0 : size;
}

std::string readFile(const std::string& path)
{
    if (!isRegularFile(path)) {
        return {};
    }
    // Binary: in text mode Windows' C library would turn CR LF into LF and stop at a Ctrl-Z byte.
    std::ifstream ifile(path, std::ios::binary);
    std::ostringstream content;
    content << ifile.rdbuf();
    return content.str();
}

void checkGLError()
{
    const GLenum code = glGetError();
    if (code != GL_NO_ERROR) {
        std::cerr << describeGLError(code) << std::endl;
    }
}
