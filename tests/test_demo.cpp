#include "Shader.h"
#include "TestSupport.h"

#include <array>
#include <cmath>

using Picture = GLTest;

namespace {

using Pixel = std::array<int, 3>;

// The window's pixel at `radius` (1 = the triangle's corners) and `degrees` about its centre.
Pixel pixelAt(double radius, double degrees)
{
    const double radians = degrees * M_PI / 180.0;
    const auto x = static_cast<GLint>(std::lround(400.0 + 400.0 * radius * std::cos(radians)));
    const auto y = static_cast<GLint>(std::lround(400.0 + 400.0 * radius * std::sin(radians)));
    std::array<GLubyte, 4> rgba{};
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    return {rgba[0], rgba[1], rgba[2]};
}

// True when channel `strong` is the only bright one.
bool dominated(const Pixel& pixel, int strong)
{
    for (int channel = 0; channel < 3; ++channel) {
        if ((pixel[channel] > 200) != (channel == strong)) {
            return false;
        }
    }
    return true;
}

} // namespace

TEST(RotationAngle, TurnsTenDegreesPerSecondAndStaysFineAfterMonths)
{
    EXPECT_FLOAT_EQ(rotationAngle(0.0), 0.0f);
    EXPECT_FLOAT_EQ(rotationAngle(4.5), 45.0f);
    EXPECT_FLOAT_EQ(rotationAngle(36.0), 0.0f);
    EXPECT_FLOAT_EQ(rotationAngle(71.0), 350.0f);
    // After 100 days a frame 1/60 s later must still turn by 1/6 degree.
    const double later = 100 * 86400.0 + 12.3;
    EXPECT_NEAR(rotationAngle(later + 1.0 / 60) - rotationAngle(later), 1.0 / 6, 1e-3);
}

TEST_F(Picture, TriangleTurnsCounterClockwiseWithRedGreenBlueCorners)
{
    int width = 0;
    int height = 0;
    glfwGetFramebufferSize(window, &width, &height);
    ASSERT_EQ(width, 800);
    ASSERT_EQ(height, 800);

    Shader minimal(SHADER_BASE_PATH);
    ASSERT_TRUE(minimal.isGood());
    minimal.bindFragDataLocation("out_color");
    ASSERT_TRUE(loadVertexArrayFunctions());
    GLuint vbo_id[2] = {0, 0};
    GLuint vao_id = 0;
    setupTriangle(minimal, vbo_id, vao_id);

    for (const double seconds : {0.0, 9.0, 21.5, 36.0}) {
        SCOPED_TRACE(seconds);
        glfwSetTime(seconds);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        drawTriangle(minimal, vao_id);

        const double red = 90.0 + 10.0 * seconds;
        EXPECT_PRED2(dominated, pixelAt(0.9, red), 0);
        EXPECT_PRED2(dominated, pixelAt(0.9, red - 120.0), 1);
        EXPECT_PRED2(dominated, pixelAt(0.9, red + 120.0), 2);
        EXPECT_EQ(pixelAt(0.7, red + 180.0), (Pixel{0, 0, 0})); // beyond the far edge
        // A third of each colour, sRGB-encoded: 0.6 of full scale, not a linear 0.33.
        for (const int channel : pixelAt(0.0, 0.0)) {
            EXPECT_NEAR(channel, 156, 3);
        }
    }
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    releaseTriangle(vbo_id, vao_id);
    EXPECT_EQ(vao_id + vbo_id[0] + vbo_id[1], 0u);
}

TEST_F(Picture, MissingVertexArrayFunctionIsReportedNotCalled)
{
    glfwMakeContextCurrent(nullptr); // no current context: every lookup answers null
    ConsoleCapture console;
    const bool loaded = loadVertexArrayFunctions();
    glfwMakeContextCurrent(window);
    EXPECT_FALSE(loaded);
    EXPECT_EQ(console.err.str(), "Could not find the OpenGL function glGenVertexArrays.\n");
}

TEST(ContextReport, CompatibilityContextSaysSoAndItsProbeFailureGoesToStandardError)
{
    glfwDefaultWindowHints(); // no version or profile hint: a legacy context
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    GLFWwindow* window = glfwCreateWindow(64, 64, "compatibility", nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    glfwMakeContextCurrent(window);
    prepareContext(window);
    ConsoleCapture console;
    printContextInfo();
    glfwDestroyWindow(window);

    const std::string out = console.out.str();
    EXPECT_EQ(out.rfind("OpenGL Version: ", 0), 0u);
    EXPECT_EQ(out.substr(out.find('\n') + 1),
              "Having a compatibility-profile\nDoing illegal operation (glTranslate) now...\n");
    EXPECT_EQ(console.err.str(), "Illegal operation did NOT cause an error message. :(\n");
}
