# Cross-compiles for 64-bit Windows with Debian's mingw-w64. GLFW, GLEW and GLM for Windows are
# looked for under CMAKE_PREFIX_PATH first (scripts/build-windows.sh builds them there):
#   cmake -S . -B build-windows/program -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
#         -DCMAKE_PREFIX_PATH=$PWD/build-windows/deps
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# CMAKE_PREFIX_PATH is searched before the system's folders, which hold no Windows libraries.
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# One executable that runs alone: the C and C++ runtimes and GLEW are linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(GLEW_USE_STATIC_LIBS ON)
