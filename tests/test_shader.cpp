#include "GLUtils.h"
#include "Shader.h"
#include "TestSupport.h"

using ShaderProgram = GLTest;

namespace {

GLint currentProgram(const Shader& shader)
{
    shader.bind();
    GLint program = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    shader.unbind();
    return program;
}

} // namespace

TEST_F(ShaderProgram, BuildsTheProgramsOwnShadersAndRelinksTheSameObject)
{
    ConsoleCapture console;
    Shader minimal(SHADER_BASE_PATH);
    ASSERT_TRUE(minimal.isGood());
    const GLint program = currentProgram(minimal);
    minimal.bindFragDataLocation("out_color");

    EXPECT_NE(program, 0);
    EXPECT_EQ(currentProgram(minimal), program);
    EXPECT_EQ(glGetFragDataLocation(GLuint(program), "out_color"), 0);
    EXPECT_GE(minimal.getAttribLocation("in_position"), 0);
    EXPECT_GE(minimal.getAttribLocation("in_color"), 0);
    EXPECT_GE(minimal.getUniformLocation("rotation_matrix"), 0);
    EXPECT_EQ(minimal.getAttribLocation("pass_color"), -1);
    EXPECT_EQ(minimal.getUniformLocation("in_color"), -1);
    EXPECT_EQ(console.out.str() + console.err.str(), "");
}

TEST_F(ShaderProgram, ReportsEachFailureOnItsStreamAndIsNotGood)
{
    const std::string vert = readFile(std::string(SHADER_BASE_PATH) + ".vert");
    const std::string frag = readFile(std::string(SHADER_BASE_PATH) + ".frag");
    const char* const missing = nullptr;
    const struct
    {
        const char *vert, *frag, *out_start, *out_has, *err;
    } cases[] = {
        {missing, frag.c_str(), "", "", "Vertex shader file BASE.vert does not exist.\n"},
        {vert.c_str(), missing, "", "", "Fragment shader file BASE.frag does not exist.\n"},
        {"void main() { oops; }", frag.c_str(), "Shader compilation failed.\n",
         "\nShader linking failed.\n", ""},
        {vert.c_str(), "", "Shader compilation failed.\n", "\nShader linking failed.\n", ""},
        // The stages disagree on the type of the colour passed between them.
        {"#version 150\nout vec2 pass_color;\nvoid main() { pass_color = vec2(0); gl_Position = "
         "vec4(0); }",
         frag.c_str(), "Shader linking failed.\n", "pass_color", ""},
    };
    for (const auto& c : cases) {
        const TempDir dir;
        const std::string base = dir.path("shader");
        for (const auto& [content, name] :
             {std::pair(c.vert, "shader.vert"), {c.frag, "shader.frag"}}) {
            if (content != missing) {
                dir.write(name, content);
            }
        }
        std::string err = c.err;
        if (const auto at = err.find("BASE"); at != std::string::npos) {
            err.replace(at, 4, base);
        }

        ConsoleCapture console;
        Shader shader(base);
        shader.bindFragDataLocation("out_color"); // does nothing without a linked program
        const std::string out = console.out.str();
        SCOPED_TRACE(out + err);
        EXPECT_FALSE(shader.isGood());
        EXPECT_EQ(currentProgram(shader), 0);
        EXPECT_EQ(console.err.str(), err);
        EXPECT_EQ(out.rfind(c.out_start, 0), 0u);
        EXPECT_NE(out.find(c.out_has), std::string::npos);
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    }
}
