// The OpenGL side of the program: the context's set-up and report, and the triangle's mesh, its
// drawing and its release.

#include "Demo.h"

#include "Shader.h"

#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <algorithm>
#include <cmath>
#include <iostream>

namespace {

// One corner straight up, the others at -30 and 210 degrees on the unit circle.
const GLfloat positions[12] = {
    0.0f,        1.0f,  0.0f, 1.0f, //
    0.8660254f,  -0.5f, 0.0f, 1.0f, //
    -0.8660254f, -0.5f, 0.0f, 1.0f,
};

// Red, green and blue corners, in the order of `positions`.
const GLfloat colors[9] = {
    1.0f, 0.0f, 0.0f, //
    0.0f, 1.0f, 0.0f, //
    0.0f, 0.0f, 1.0f,
};

const double degrees_per_second = 10.0;

PFNGLGENVERTEXARRAYSPROC genVertexArraysProc = nullptr;
PFNGLBINDVERTEXARRAYPROC bindVertexArrayProc = nullptr;
PFNGLDELETEVERTEXARRAYSPROC deleteVertexArraysProc = nullptr;

// Looked up once by setupTriangle rather than by name every frame.
GLint rotationMatrixLocation = -1;

template <typename Proc> bool found(Proc proc, const char* name)
{
    if (proc == nullptr) {
        std::cerr << "Could not find the OpenGL function " << name << "." << std::endl;
    }
    return proc != nullptr;
}

template <typename Proc> bool lookUp(Proc& proc, const char* name)
{
    proc = reinterpret_cast<Proc>(glfwGetProcAddress(name));
    return found(proc, name);
}

// Every entry point beyond OpenGL 1.1 that the program calls through the extension loader.
bool loaderFunctionsFound()
{
    return found(glCreateShader, "glCreateShader") && found(glShaderSource, "glShaderSource") &&
           found(glCompileShader, "glCompileShader") && found(glGetShaderiv, "glGetShaderiv") &&
           found(glGetShaderInfoLog, "glGetShaderInfoLog") &&
           found(glDeleteShader, "glDeleteShader") && found(glCreateProgram, "glCreateProgram") &&
           found(glAttachShader, "glAttachShader") && found(glLinkProgram, "glLinkProgram") &&
           found(glGetProgramiv, "glGetProgramiv") &&
           found(glGetProgramInfoLog, "glGetProgramInfoLog") &&
           found(glDeleteProgram, "glDeleteProgram") && found(glUseProgram, "glUseProgram") &&
           found(glGetUniformLocation, "glGetUniformLocation") &&
           found(glGetAttribLocation, "glGetAttribLocation") &&
           found(glBindFragDataLocation, "glBindFragDataLocation") &&
           found(glGenBuffers, "glGenBuffers") && found(glBindBuffer, "glBindBuffer") &&
           found(glBufferData, "glBufferData") && found(glDeleteBuffers, "glDeleteBuffers") &&
           found(glEnableVertexAttribArray, "glEnableVertexAttribArray") &&
           found(glVertexAttribPointer, "glVertexAttribPointer") &&
           found(glUniformMatrix4fv, "glUniformMatrix4fv") &&
           found(glGetFramebufferAttachmentParameteriv, "glGetFramebufferAttachmentParameteriv");
}

// Uploads `values` into `buffer` and feeds them to the shader input `name`, `components` a vertex.
void uploadAttribute(Shader& shader, GLuint buffer, const std::string& name, const GLfloat* values,
                     GLsizeiptr size, GLint components)
{
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferData(GL_ARRAY_BUFFER, size, values, GL_STATIC_DRAW);
    // A name the program does not use has location -1; GL reports that at the next check.
    const GLint location = shader.getAttribLocation(name);
    glEnableVertexAttribArray(static_cast<GLuint>(location));
    glVertexAttribPointer(static_cast<GLuint>(location), components, GL_FLOAT, GL_FALSE, 0,
                          nullptr);
}

// Draws into the largest centred square of a framebuffer of `width` x `height` pixels, so that the
// triangle keeps its shape and stays in the middle whatever size the window is given.
void fitViewport(GLFWwindow* /*window*/, int width, int height)
{
    const int side = std::min(width, height);
    glViewport((width - side) / 2, (height - side) / 2, side, side);
}

} // namespace

void prepareContext(GLFWwindow* window)
{
    // Without this GLEW may report success on a core context and leave entry points null.
    glewExperimental = GL_TRUE;
    const GLenum result = glewInit();
    // GLEW built for GLX looks for a GLX display after loading the context's entry points; a
    // window on Wayland has none, which matters only if those entry points are missing.
    const bool only_glx_missing = result == GLEW_ERROR_NO_GLX_DISPLAY && glCreateShader != nullptr;
    if (result != GLEW_OK && !only_glx_missing) {
        std::cerr << "Error: " << glewGetErrorString(result) << std::endl;
    }
    glEnable(GL_FRAMEBUFFER_SRGB);
    // GLEW's extension query is not valid on a core context; drop the error it leaves behind.
    glGetError();

    // The window manager may give the window any size, at any time. The size is asked once
    // here; after that the window library reports changes from events it handles anyway, which
    // costs nothing per frame, unlike asking the X server in every frame.
    int width = 0;
    int height = 0;
    glfwGetFramebufferSize(window, &width, &height);
    fitViewport(window, width, height);
    glfwSetFramebufferSizeCallback(window, fitViewport);
}

bool printContextInfo()
{
    // A context that cannot be used names no version. Streamed as it is, the null would silence
    // every later line on standard output.
    const GLubyte* version = glGetString(GL_VERSION);
    if (version == nullptr) {
        std::cerr << "The driver gave no OpenGL version." << std::endl;
        return false;
    }
    std::cout << "OpenGL Version: " << version << std::endl;

    GLint profile = 0;
    glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &profile);
    if (profile == GL_CONTEXT_CORE_PROFILE_BIT) {
        std::cout << "Having a core-profile" << std::endl;
    } else {
        std::cout << "Having a compatibility-profile" << std::endl;
    }

    std::cout << "Doing illegal operation (glTranslate) now..." << std::endl;
    glGetError();
    glTranslatef(1.0f, 0.0f, 0.0f);
    if (glGetError() != GL_NO_ERROR) {
        std::cout << "Illegal operation caused an error message. :)" << std::endl;
    } else {
        std::cerr << "Illegal operation did NOT cause an error message. :(" << std::endl;
    }
    return true;
}

bool loadGLFunctions()
{
    return loaderFunctionsFound() && lookUp(genVertexArraysProc, "glGenVertexArrays") &&
           lookUp(bindVertexArrayProc, "glBindVertexArray") &&
           lookUp(deleteVertexArraysProc, "glDeleteVertexArrays");
}

void setupTriangle(Shader& shader, GLuint (&vbo_id)[2], GLuint& vao_id)
{
    // The bound vertex array records the attribute state set below.
    genVertexArraysProc(1, &vao_id);
    bindVertexArrayProc(vao_id);

    glGenBuffers(2, vbo_id);
    uploadAttribute(shader, vbo_id[0], "in_position", positions, sizeof(positions), 4);
    uploadAttribute(shader, vbo_id[1], "in_color", colors, sizeof(colors), 3);
    // A uniform the program does not use has location -1, which GL silently ignores.
    rotationMatrixLocation = shader.getUniformLocation("rotation_matrix");

    bindVertexArrayProc(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void drawTriangle(Shader& shader, GLuint vao_id)
{
    const float angle = rotationAngle(glfwGetTime());
    const glm::mat4 rotation_matrix =
        glm::rotate(glm::mat4(1.0f), glm::radians(angle), glm::vec3(0.0f, 0.0f, 1.0f));

    shader.bind();
    bindVertexArrayProc(vao_id);
    glUniformMatrix4fv(rotationMatrixLocation, 1, GL_FALSE, glm::value_ptr(rotation_matrix));
    glDrawArrays(GL_TRIANGLES, 0, 3);

    bindVertexArrayProc(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    shader.unbind();
}

void releaseTriangle(GLuint (&vbo_id)[2], GLuint& vao_id)
{
    deleteVertexArraysProc(1, &vao_id);
    glDeleteBuffers(2, vbo_id);
    vao_id = 0;
    vbo_id[1] = 0;
    vbo_id[0] = 0;
}

void reportLinearFramebuffer()
{
    GLint encoding = GL_SRGB;
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_BACK_LEFT,
                                          GL_FRAMEBUFFER_ATTACHMENT_COLOR_ENCODING, &encoding);
    if (encoding != GL_SRGB) {
        std::cerr << "The framebuffer does not encode sRGB: the picture will look too dark."
                  << std::endl;
    }
}

float rotationAngle(double seconds)
{
    // Wrapped in double precision: a float of many seconds is too coarse to turn smoothly.
    double angle = std::fmod(seconds * degrees_per_second, 360.0);
    if (angle < 0.0) {
        angle += 360.0;
    }
    // A double just below 360 (or a tiny negative one, plus 360) rounds to 360 as a float.
    const auto single = static_cast<float>(angle);
    return single < 360.0f ? single : 0.0f;
}
