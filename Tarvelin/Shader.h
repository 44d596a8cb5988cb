// The Shader class: one vertex and one fragment shader read from files, compiled and linked into
// a GL program, with the few operations the demo needs to use it.
#pragma once

#include <GL/glew.h>

#include <string>

// A GL program linked from a vertex and a fragment shader read from `path`.vert and `path`.frag.
// Every failure is reported on the console where it happens; isGood() tells whether the program
// is usable. The shader and program objects are deleted with the Shader.
class Shader
{
public:
    explicit Shader(const std::string& path);
    ~Shader();

    Shader(const Shader&) = delete;
    Shader& operator=(const Shader&) = delete;

    bool isGood() const;
    void bind() const;
    void unbind() const;
    GLint getUniformLocation(const std::string& name) const;
    GLint getAttribLocation(const std::string& name) const;

    // Routes fragment output `name` to colour number 0 and relinks the program.
    void bindFragDataLocation(const std::string& name);

private:
    GLuint compileShader(GLenum type, const std::string& source);
    void link();
    void checkLinkStatus();
    void printShaderInfoLog(GLuint handle);
    void printProgramInfoLog(GLuint handle);

    bool success = false;
    GLuint vertexHandle = 0;
    GLuint fragmentHandle = 0;
    GLuint programHandle = 0;
};
