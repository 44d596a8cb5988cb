// The least a program can do to show the same turning triangle: the same window, context,
// shaders and sRGB output, with every name and location looked up once, and per frame only
// clear, upload the matrix, draw, swap and poll. The floor the demo is measured against.
// Started from bin/, like the demo; ends with Esc or the close button.
#include "Demo.h"
#include "Window.h"

#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <cmath>
#include <fstream>
#include <iterator>
#include <string>

namespace {

GLuint compile(GLenum type, const std::string& path)
{
    std::ifstream file(path);
    const std::string source{std::istreambuf_iterator<char>(file), {}};
    const GLchar* text = source.c_str();
    const GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    return shader;
}

GLuint buildProgram()
{
    const GLuint program = glCreateProgram();
    glAttachShader(program, compile(GL_VERTEX_SHADER, "../Tarvelin/Shaders/shadername.vert"));
    glAttachShader(program, compile(GL_FRAGMENT_SHADER, "../Tarvelin/Shaders/shadername.frag"));
    glBindFragDataLocation(program, 0, "out_color");
    glLinkProgram(program);
    return program;
}

void uploadTriangle(GLuint program)
{
    const GLfloat positions[] = {
        0.0f,        1.0f,  0.0f, 1.0f, //
        0.8660254f,  -0.5f, 0.0f, 1.0f, //
        -0.8660254f, -0.5f, 0.0f, 1.0f,
    };
    const GLfloat colors[] = {
        1.0f, 0.0f, 0.0f, //
        0.0f, 1.0f, 0.0f, //
        0.0f, 0.0f, 1.0f,
    };
    GLuint vertex_array = 0;
    GLuint buffers[2] = {0, 0};
    glGenVertexArrays(1, &vertex_array);
    glBindVertexArray(vertex_array);
    glGenBuffers(2, buffers);
    glBindBuffer(GL_ARRAY_BUFFER, buffers[0]);
    glBufferData(GL_ARRAY_BUFFER, sizeof positions, positions, GL_STATIC_DRAW);
    const auto position = static_cast<GLuint>(glGetAttribLocation(program, "in_position"));
    glEnableVertexAttribArray(position);
    glVertexAttribPointer(position, 4, GL_FLOAT, GL_FALSE, 0, nullptr);
    glBindBuffer(GL_ARRAY_BUFFER, buffers[1]);
    glBufferData(GL_ARRAY_BUFFER, sizeof colors, colors, GL_STATIC_DRAW);
    const auto color = static_cast<GLuint>(glGetAttribLocation(program, "in_color"));
    glEnableVertexAttribArray(color);
    glVertexAttribPointer(color, 3, GL_FLOAT, GL_FALSE, 0, nullptr);
}

} // namespace

int main()
{
    // The program's own window and context set-up, so that both start from the same state.
    startWindowLibrary();
    GLFWwindow* window = openWindow();
    if (window == nullptr) {
        glfwTerminate();
        return 1;
    }
    prepareContext(window);

    const GLuint program = buildProgram();
    uploadTriangle(program);
    glUseProgram(program);
    const GLint rotation_matrix = glGetUniformLocation(program, "rotation_matrix");

    while (!glfwWindowShouldClose(window) && glfwGetKey(window, GLFW_KEY_ESCAPE) != GLFW_PRESS) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        const auto angle = static_cast<float>(std::fmod(glfwGetTime() * 10.0, 360.0));
        const glm::mat4 rotation =
            glm::rotate(glm::mat4(1.0f), glm::radians(angle), glm::vec3(0.0f, 0.0f, 1.0f));
        glUniformMatrix4fv(rotation_matrix, 1, GL_FALSE, glm::value_ptr(rotation));
        glDrawArrays(GL_TRIANGLES, 0, 3);
        glfwSwapBuffers(window);
        glfwPollEvents();
    }
    glfwTerminate();
    return 0;
}
