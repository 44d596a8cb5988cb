#include "GLUtils.h"
#include "Shader.h"
#include "TestSupport.h"

#include <sys/stat.h>

#include <optional>

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

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

TEST_F(ShaderProgram, BuildsTheProgramsOwnShadersAndRelinksTheSameObject)
{
    ConsoleCapture console;
    Shader minimal(SHADER_BASE_PATH);
    ASSERT_TRUE(minimal.isGood());
    const GLint program = currentProgram(minimal);
    ASSERT_NE(program, 0);

    minimal.bindFragDataLocation("out_color");
    EXPECT_EQ(currentProgram(minimal), program);
    EXPECT_EQ(glGetFragDataLocation(GLuint(program), "out_color"), 0);
    EXPECT_GE(minimal.getAttribLocation("in_position"), 0);
    EXPECT_GE(minimal.getAttribLocation("in_color"), 0);
    EXPECT_GE(minimal.getUniformLocation("rotation_matrix"), 0);
    EXPECT_EQ(minimal.getAttribLocation("pass_color"), -1);
    EXPECT_EQ(minimal.getUniformLocation("in_color"), -1);
    EXPECT_EQ(console.out.str() + console.err.str(), "");
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(ShaderProgram, ReportsEachFailureOnItsStreamAndIsNotGood)
{
    const std::string vert = readFile(std::string(SHADER_BASE_PATH) + ".vert");
    const std::string frag = readFile(std::string(SHADER_BASE_PATH) + ".frag");
    const std::string fifo = "fifo";
    const std::nullopt_t missing = std::nullopt;
    const struct
    {
        std::optional<std::string> vert, frag;
        std::string out_starts, out_contains, err;
    } cases[] = {
        {missing, frag, "", "", "Vertex shader file BASE.vert does not exist.\n"},
        {missing, missing, "", "", "Vertex shader file BASE.vert does not exist.\n"},
        {vert, missing, "", "", "Fragment shader file BASE.frag does not exist.\n"},
        {fifo, frag, "", "", "Vertex shader file BASE.vert does not exist.\n"},
        {vert, fifo, "", "", "Fragment shader file BASE.frag does not exist.\n"},
        {"#version 150 core\nvoid main() { gl_Position = oops; }\n", frag,
         "Shader compilation failed.\n", "\nShader linking failed.\n", ""},
        {vert, "", "Shader compilation failed.\n", "\nShader linking failed.\n", ""},
        // The stages disagree on the type of the colour passed between them.
        {"#version 150 core\nout vec2 pass_color;\nvoid main() { gl_Position = vec4(pass_color = "
         "vec2(0.0), 0.0, 1.0); }\n",
         frag, "Shader linking failed.\n", "pass_color", ""},
    };
    for (const auto& c : cases) {
        const TempDir dir;
        const std::string base = dir.path("shader");
        for (const auto& [content, name] :
             {std::pair(c.vert, "shader.vert"), {c.frag, "shader.frag"}}) {
            if (content == fifo) {
                ASSERT_EQ(mkfifo(dir.path(name).c_str(), 0666), 0);
            } else if (content) {
                dir.write(name, *content);
            }
        }
        std::string expected_err = c.err;
        if (const auto at = expected_err.find("BASE"); at != std::string::npos) {
            expected_err.replace(at, 4, base);
        }
        SCOPED_TRACE(expected_err + c.out_starts + c.out_contains);

        ConsoleCapture console;
        Shader shader(base);
        shader.bindFragDataLocation("out_color"); // does nothing without a linked program
        EXPECT_FALSE(shader.isGood());
        EXPECT_EQ(currentProgram(shader), 0);
        EXPECT_EQ(console.err.str(), expected_err);
        EXPECT_TRUE(startsWith(console.out.str(), c.out_starts)) << console.out.str();
        EXPECT_NE(console.out.str().find(c.out_contains), std::string::npos) << console.out.str();
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    }
}
