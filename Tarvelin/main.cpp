// Opens an OpenGL 3.2 core-profile window, reports the context it got, and draws a red, green
// and blue triangle that turns at 10 degrees per second until Esc, Q or the close button.

#include "Demo.h"
#include "FramePacer.h"
#include "GLUtils.h"
#include "Shader.h"
#include "Window.h"

#include <iostream>

namespace {

// Relative to bin/, where the program is started; ".vert" and ".frag" are appended.
const char* const shader_base_path = "../Tarvelin/Shaders/shadername";

// Q ends the run as a close request does. It is recognised by the character it types, so it is
// the key that types Q in the user's layout, wherever that key sits, and nothing is asked of a
// keyboard that the seat may not have.
void closeOnQ(GLFWwindow* window, unsigned int character)
{
    if (character == 'q' || character == 'Q') {
        glfwSetWindowShouldClose(window, GLFW_TRUE);
    }
}

// Esc held (or tapped, with sticky keys), Q typed, or the close button or the compositor asked
// the window to close.
bool quitRequested(GLFWwindow* window)
{
    return glfwGetKey(window, GLFW_KEY_ESCAPE) == GLFW_PRESS || glfwWindowShouldClose(window);
}

// Builds the shader program and the triangle, runs the frame loop and releases what it built.
// Returns the exit code.
int runDemo(GLFWwindow* window)
{
    if (!loadGLFunctions()) {
        return 1;
    }
    reportLinearFramebuffer();
    Shader minimal(shader_base_path);
    if (!minimal.isGood()) {
        std::cerr << "Could not compile minimal shader program." << std::endl;
        return 1;
    }
    // A failed relink is reported here and leaves program 0, whose errors show frame by frame.
    minimal.bindFragDataLocation("out_color");

    GLuint vbo_id[2] = {0, 0};
    GLuint vao_id = 0;
    setupTriangle(minimal, vbo_id, vao_id);

    // A key tapped and released between two frames still reads as pressed once.
    glfwSetInputMode(window, GLFW_STICKY_KEYS, GLFW_TRUE);
    glfwSetCharCallback(window, closeOnQ);

    // On Wayland the compositor paces the frames; elsewhere the buffer swap does.
    FramePacer pacer(window);

    bool running = true;
    while (running) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        drawTriangle(minimal, vao_id);
        pacer.requestFrame(); // handed over with this frame by the swap
        glfwSwapBuffers(window);
        // Until the compositor wants the next frame, or 100 ms. False once the connection to the
        // compositor is lost: the window is then asked to close, and the window library is not
        // asked for events, as it would wait for ever on those left unread.
        if (pacer.waitForFrame()) {
            glfwPollEvents();
        }
        checkGLError();
        running = !quitRequested(window);
    }

    releaseTriangle(vbo_id, vao_id);
    // The desktop went away under the program (a crash, a logout): that is no quit.
    if (pacer.connectionLost()) {
        std::cerr << "Lost the connection to the Wayland display." << std::endl;
        return 1;
    }
    return 0;
}

} // namespace

int main()
{
    // A library that failed to start cannot open a window; that failure is reported below.
    GLFWwindow* window = startWindowLibrary() ? openWindow() : nullptr;
    if (window == nullptr) {
        reportWindowFailure();
        glfwTerminate();
        return 1;
    }
    prepareContext(window);
    const int exit_code = printContextInfo() ? runDemo(window) : 1;
    glfwTerminate();
    return exit_code;
}
