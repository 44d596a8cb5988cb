#!/usr/bin/env bash
# Installs the Debian packages needed to build and run the program, and with --tests or --bench
# those its tests or its benchmark need too. Packages already installed are left alone; apt runs only when one is missing.
set -euo pipefail

packages=(cmake g++ make libglfw3-dev libglew-dev libglm-dev libgl1-mesa-dri xvfb xauth xdotool
    imagemagick)
if [[ ${1:-} == --tests ]]; then
    packages+=(libgtest-dev libx11-dev valgrind)
elif [[ ${1:-} == --bench ]]; then
    packages+=(valgrind mesa-utils)
fi

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
        missing+=("$package")
done
[[ ${#missing[@]} == 0 ]] && exit 0

sudo=()
[[ $(id -u) == 0 ]] || sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
