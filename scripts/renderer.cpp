// Names the OpenGL renderer that draws the program's window, for scripts/run.sh: it opens the same
// window and context as the program, on the same window system, hidden, and prints
// "Drawn by: " and the renderer's name, or nothing where no window opens.
#include "Window.h"

#include <iostream>

int main()
{
    if (!startWindowLibrary()) {
        return 1;
    }
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    GLFWwindow* window = openWindow();
    const GLubyte* renderer = window != nullptr ? glGetString(GL_RENDERER) : nullptr;
    if (renderer != nullptr) {
        std::cout << "Drawn by: " << renderer << std::endl;
    }
    glfwTerminate();
    return renderer != nullptr ? 0 : 1;
}
