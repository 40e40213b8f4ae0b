# Sourced by scripts/run and scripts/test: installs the Debian packages that are missing.
# Usage: install_missing PACKAGE...

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install_missing() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    if [ "${#missing[@]}" -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        as_root apt-get update -qq
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
}

BUILD_PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-qpa-plugins libjpeg62-turbo-dev
    libpng-dev libgif-dev libtiff-dev zlib1g-dev libgtest-dev libbenchmark-dev ccache fonts-dejavu-core)
BUILD_PACKAGES+=(libmount-dev libudev-dev)
TEST_PACKAGES=(xvfb xdotool x11-utils imagemagick libopenjp2-tools libjpeg-turbo-progs)
# clang with libFuzzer and the sanitizer runtimes: scripts/test builds the fuzz harnesses
# with them, and --fuzz runs them.
FUZZ_PACKAGES=(clang libclang-rt-14-dev)
