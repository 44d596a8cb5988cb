// Small helpers the rest of the program leans on: reading the shader files, and turning a pending
// OpenGL error into a line on the console.
#pragma once

#include <cstdint>
#include <string>

// True when `path` names a regular file that can be opened for reading.
bool fileExists(const std::string& path);

// The size of `path` in bytes; 0 when it cannot be told.
std::uintmax_t fileSize(const std::string& path);

// The whole content of `path`, byte for byte; empty when it cannot be read as a regular file.
std::string readFile(const std::string& path);

// Reads one pending GL error, if any, and writes its description to standard error.
void checkGLError();
