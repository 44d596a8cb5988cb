// Reading, compiling and linking the two shaders, each failure reported where it happens, and the
// lookups and bindings of the linked program.

#include "Shader.h"

#include "GLUtils.h"

#include <array>
#include <iostream>

namespace {

// No real shader comes near this size; a larger file is refused before it is read, so that it can
// neither exhaust memory nor overflow the GLint length that GL takes.
const std::uintmax_t max_source_size = 64 * 1024 * 1024;

// Reads the `stage` ("Vertex", "Fragment") shader file `path` into `source`; false, after a line
// on standard error, when it cannot be read or is too large.
bool readSource(const char* stage, const std::string& path, std::string& source)
{
    if (!fileExists(path)) {
        std::cerr << stage << " shader file " << path << " does not exist." << std::endl;
        return false;
    }
    if (fileSize(path) > max_source_size) {
        std::cerr << stage << " shader file " << path << " is too large: over 64 MiB." << std::endl;
        return false;
    }
    source = readFile(path);
    return true;
}

} // namespace

Shader::Shader(const std::string& path)
{
    // Both files are read before any GL object is made.
    std::string vertex_shader_source;
    std::string fragment_shader_source;
    if (!readSource("Vertex", path + ".vert", vertex_shader_source) ||
        !readSource("Fragment", path + ".frag", fragment_shader_source)) {
        return;
    }

    vertexHandle = compileShader(GL_VERTEX_SHADER, vertex_shader_source);
    if (vertexHandle == 0) {
        return;
    }
    checkGLError();

    fragmentHandle = compileShader(GL_FRAGMENT_SHADER, fragment_shader_source);
    if (fragmentHandle == 0) {
        return;
    }
    checkGLError();

    link();
    if (programHandle == 0) {
        return;
    }
    success = true;
    checkGLError();
}

Shader::~Shader()
{
    // GL ignores names that are still 0.
    glDeleteProgram(programHandle);
    glDeleteShader(vertexHandle);
    glDeleteShader(fragmentHandle);
}

bool Shader::isGood() const
{
    return success;
}

void Shader::bind() const
{
    glUseProgram(programHandle);
}

void Shader::unbind() const
{
    glUseProgram(0);
}

GLint Shader::getUniformLocation(const std::string& name) const
{
    return glGetUniformLocation(programHandle, name.c_str());
}

GLint Shader::getAttribLocation(const std::string& name) const
{
    return glGetAttribLocation(programHandle, name.c_str());
}

void Shader::bindFragDataLocation(const std::string& name)
{
    if (programHandle == 0) {
        return;
    }
    glBindFragDataLocation(programHandle, 0, name.c_str());
    // The binding only takes effect when the same program object is linked again.
    glLinkProgram(programHandle);
    checkLinkStatus();
    checkGLError();
}

// Returns 0 only when no shader object could be created. A shader that fails to compile is
// still returned: the failure shows again when the program is linked.
GLuint Shader::compileShader(GLenum type, const std::string& source)
{
    const GLuint handle = glCreateShader(type);
    if (handle == 0) {
        std::cerr << "Could not create shader object." << std::endl;
        return 0;
    }

    // The length is passed explicitly, so the text needs no terminator.
    const GLchar* src = source.data();
    const auto len = static_cast<GLint>(source.size());
    glShaderSource(handle, 1, &src, &len);
    glCompileShader(handle);

    GLint status = GL_FALSE;
    glGetShaderiv(handle, GL_COMPILE_STATUS, &status);
    if (status != GL_TRUE) {
        std::cout << "Shader compilation failed." << std::endl;
        printShaderInfoLog(handle);
    }
    checkGLError();
    return handle;
}

void Shader::link()
{
    programHandle = glCreateProgram();
    glAttachShader(programHandle, vertexHandle);
    glAttachShader(programHandle, fragmentHandle);
    glLinkProgram(programHandle);
    checkLinkStatus();
    checkGLError();
}

// After a failed link the program object is deleted and programHandle is 0.
void Shader::checkLinkStatus()
{
    GLint status = GL_FALSE;
    glGetProgramiv(programHandle, GL_LINK_STATUS, &status);
    if (status != GL_TRUE) {
        std::cout << "Shader linking failed." << std::endl;
        printProgramInfoLog(programHandle);
        glDeleteProgram(programHandle);
        programHandle = 0;
    }
}

namespace {

// Shader and program info logs are read with functions of the same signature.
void printInfoLog(GLuint handle, PFNGLGETSHADERINFOLOGPROC getInfoLog)
{
    std::array<GLchar, 8096> logBuffer{};
    GLsizei length = 0;
    getInfoLog(handle, static_cast<GLsizei>(logBuffer.size()), &length, logBuffer.data());
    if (length > 0) {
        std::cout << logBuffer.data() << std::endl;
    }
}

} // namespace

void Shader::printShaderInfoLog(GLuint handle)
{
    printInfoLog(handle, glGetShaderInfoLog);
}

void Shader::printProgramInfoLog(GLuint handle)
{
    printInfoLog(handle, glGetProgramInfoLog);
}
