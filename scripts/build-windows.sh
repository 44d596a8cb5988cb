#!/usr/bin/env bash
# Builds the program for 64-bit Windows with mingw-w64: bin/tarvelin.exe, one executable that
# needs no DLL but the system's. GLFW and GLEW are built for Windows once, from Debian's source
# packages, into build-windows/deps, where later runs find them.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --windows
toolchain=$PWD/cmake/mingw-w64.cmake
deps=$PWD/build-windows/deps
if [[ ! -f $deps/complete ]]; then
    src=$PWD/build-windows/src
    rm -rf "$src" && mkdir -p "$src/lists/partial" "$src/sources.list.d"
    # The system's package sources as source-package sources, for this folder only.
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/*.sources >"$src/sources.list.d/src.sources" 2>/dev/null || true
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list /etc/apt/sources.list.d/*.list >"$src/sources.list" 2>/dev/null || true
    apt=(apt-get -qq -o Dir::Etc::SourceList="$src/sources.list" -o Dir::Etc::SourceParts="$src/sources.list.d"
        -o Dir::State::Lists="$src/lists")
    if ! (cd "$src" && "${apt[@]}" update && "${apt[@]}" source glfw3 glew) >"$src/apt.log" 2>&1; then
        echo "Could not fetch the source packages glfw3 and glew; see $src/apt.log" >&2
        exit 1
    fi
    build() { # SOURCE-FOLDER CMAKE-OPTIONS... (their CMake files' warnings are not ours to mend)
        cmake -Wno-dev -S "$1" -B "$1/build-windows" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
            -DCMAKE_INSTALL_PREFIX="$deps" -DCMAKE_BUILD_TYPE=Release "${@:2}" >/dev/null
        cmake --build "$1/build-windows" -j"$(nproc)" --target install >/dev/null
    }
    build "$(echo "$src"/glfw3-*/)" -DGLFW_BUILD_EXAMPLES=OFF -DGLFW_BUILD_TESTS=OFF -DGLFW_BUILD_DOCS=OFF
    build "$(echo "$src"/glew-*/)build/cmake" -DBUILD_UTILS=OFF
    # GLM is headers only: the system's copy serves Windows as well.
    mkdir -p "$deps/include" "$deps/share/cmake"
    cp -r /usr/include/glm "$deps/include/" && cp -r /usr/share/cmake/glm "$deps/share/cmake/"
    touch "$deps/complete"
fi

# GLEW's static library has the name of its DLL's import library, which FindGLEW does not expect.
cmake -S . -B build-windows/program -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_PREFIX_PATH="$deps" \
    -DGLEW_STATIC_LIBRARY_RELEASE="$deps/lib/libglew32.a" -DBUILD_TESTING=OFF >/dev/null
cmake --build build-windows/program -j"$(nproc)"
echo "Built bin/tarvelin.exe"
