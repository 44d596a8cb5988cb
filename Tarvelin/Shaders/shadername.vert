#version 150 core

uniform mat4 rotation_matrix;

in vec4 in_position;
in vec3 in_color;

out vec3 pass_color;

void main()
{
    gl_Position = rotation_matrix * in_position;
    pass_color = in_color;
}
