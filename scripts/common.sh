# SPDX-License-Identifier: GPL-3.0-or-later
# shellcheck shell=bash
# Shared by scripts/run, scripts/test and scripts/fuzz; sourced, not run.
#
# Installs the build dependencies that are missing (Debian and derivatives),
# configures a build directory (build/ unless told otherwise) once and brings
# it up to date. Every step is silent when it works and prints its full output
# when it fails.

DUOLINK_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
DUOLINK_BUILD="$DUOLINK_ROOT/build"

# With ccache, a clone in another folder (a fresh checkout, a second work
# tree) reuses the objects compiled in this one: paths below the checkout are
# hashed relative to it.
export CCACHE_BASEDIR="$DUOLINK_ROOT" CCACHE_NOHASHDIR=1

# What building and running the program needs on a fresh Debian 12 machine
# (scripts/run).
DUOLINK_RUN_PACKAGES=(
    cmake
    ninja-build
    g++
    qt6-base-dev
    qt6-charts-dev
    libzstd-dev
    cmark # the user's manual as HTML
    libqt6opengl6-dev # Qt Charts' CMake package needs it, qt6-charts-dev does not pull it in
    python3-dev # the Python package (import duolink), built for Debian's python3
    pybind11-dev
    python3-numpy
    libqt6svg6 # the icon in the window and the About box
    qt6-svg-dev # charts saved as SVG drawings
    nettle-dev # SHA-256 of the lists named in an analysis's provenance
    nlohmann-json3-dev # reading that provenance back for --replay
)

# What the tests, the benchmarks and the fuzz targets add (scripts/test):
# GoogleTest, Google Benchmark, clang with its runtime for libFuzzer; a
# virtual X display and the tools that drive and photograph the window there,
# the checkers of the installed desktop files, dpkg-shlibdeps for the
# package's dependencies, and GNU parallel, Slurm and munge for the tests that
# run the analyses in shards on a cluster.
# shellcheck disable=SC2034 # used by scripts/test and scripts/update-screenshot
DUOLINK_TEST_PACKAGES=(
    libgtest-dev
    libbenchmark-dev
    clang-14
    libclang-rt-14-dev
    xvfb
    xauth
    xdotool
    imagemagick
    desktop-file-utils
    appstream
    dpkg-dev
    lintian
    parallel
    slurm-wlm
    munge
    strace # the write floor of bench/run-benchmarks
    ccache # the build folders share their compiled objects
    gnuplot-nox # the plot scripts of examples/
    python3-pytest # the Python package's tests, and its example notebook run headless
    python3-nbconvert
    python3-ipykernel
    python3-matplotlib
    python3-pandas
    qemu-user # the differential test on a processor without AVX2
    openbox # a window manager, to look at the windows as a desktop places them
)

duolink_say() {
    printf 'duolink: %s\n' "$*" >&2
}

# Says that a step starts and how long the script has run, so a slow step
# shows in a CI log.
duolink_step() {
    duolink_say "$* (at ${SECONDS} s)"
}

duolink_die() {
    duolink_say "$*"
    exit 1
}

# duolink_quietly DESCRIPTION COMMAND...
# Runs COMMAND with its output kept in a log file. On success the log is
# dropped; on failure it is printed and the script ends with COMMAND's status.
duolink_quietly() {
    local what="$1"
    shift
    local log status=0
    log="$(mktemp "${TMPDIR:-/tmp}/duolink.XXXXXX")"
    "$@" >"$log" 2>&1 || status=$?
    if [ "$status" -ne 0 ]; then
        duolink_say "$what failed (exit status $status); its output follows:"
        cat "$log" >&2
        rm -f "$log"
        exit "$status"
    fi
    rm -f "$log"
}

duolink_is_installed() {
    [ "$(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null)" = installed ]
}

# duolink_ensure_packages PACKAGE...
# Installs whatever is missing of the packages with apt-get, as root directly
# or through sudo. Does nothing, not even an `apt-get update`, when everything
# is there already.
duolink_ensure_packages() {
    if ! command -v dpkg-query >/dev/null 2>&1 || ! command -v apt-get >/dev/null 2>&1; then
        # Not a Debian system: the user provides the tools; CMake will say
        # what it cannot find.
        return 0
    fi

    local missing=() pkg
    for pkg in "$@"; do
        duolink_is_installed "$pkg" || missing+=("$pkg")
    done
    [ "${#missing[@]}" -eq 0 ] && return 0

    local as_root=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null 2>&1 ||
            duolink_die "missing packages: ${missing[*]}; install them as root (apt-get install ${missing[*]}) or install sudo"
        as_root=(sudo)
    fi

    duolink_say "installing ${missing[*]}"
    duolink_quietly "apt-get update" \
        "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
    duolink_quietly "installing ${missing[*]}" \
        "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# True when DIR is configured with every -DDUOLINK_...=VALUE among the
# arguments.
duolink_has_options() {
    local dir="$1" arg
    shift
    [ -f "$dir/build.ninja" ] || return 1
    for arg in "$@"; do
        [[ "$arg" =~ ^-D(DUOLINK_[A-Z_]+)=(.*)$ ]] || continue
        grep -qx "${BASH_REMATCH[1]}:[A-Z]*=${BASH_REMATCH[2]}" "$dir/CMakeCache.txt" || return 1
    done
}

# duolink_configure_dir DIR [CMAKE_ARGUMENT...]
# Configures the build directory DIR, with the extra CMake arguments, unless
# it has been configured already with the same DUOLINK_ options. Later
# changes to the CMake files are picked up by ninja itself.
duolink_configure_dir() {
    local dir="$1"
    shift
    duolink_has_options "$dir" "$@" && return 0
    if [ -f "$dir/CMakeCache.txt" ] &&
        ! grep -qx 'CMAKE_GENERATOR:INTERNAL=Ninja' "$dir/CMakeCache.txt"; then
        duolink_die "$dir was configured with another generator; remove it and try again"
    fi
    local launcher=()
    command -v ccache >/dev/null 2>&1 &&
        launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    duolink_say "configuring $dir"
    duolink_quietly "configuring" \
        cmake -S "$DUOLINK_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@"
}


# Copies ninja's output into the log file $1 and says "building" once, when
# the first real build step starts (the check of the source globs that runs
# every time does not count).
duolink_watch_build() {
    local line said=0
    while IFS= read -r line; do
        printf '%s\n' "$line" >>"$1"
        if [ "$said" -eq 0 ] && [[ "$line" =~ ^\[[0-9]+/[0-9]+\]\  ]] &&
            [[ "$line" != *"Re-checking globbed directories"* ]]; then
            duolink_say "building"
            said=1
        fi
    done
}

# duolink_build_dir DIR [TARGET...]
# Brings the given targets (default: everything) of the build directory DIR
# up to date. Silent when nothing is out of date.
duolink_build_dir() {
    local -
    local dir="$1"
    shift
    local jobs log status=0
    set -o pipefail
    jobs="$(nproc 2>/dev/null || echo 2)"
    log="$(mktemp "${TMPDIR:-/tmp}/duolink.XXXXXX")"
    ninja -C "$dir" -j "$jobs" "$@" 2>&1 | duolink_watch_build "$log" || status=$?
    if [ "$status" -ne 0 ]; then
        duolink_say "building failed (exit status $status); its output follows:"
        cat "$log" >&2
        rm -f "$log"
        exit "$status"
    fi
    rm -f "$log"
}

# duolink_build [TARGET...]
# The same for build/.
duolink_build() {
    duolink_build_dir "$DUOLINK_BUILD" "$@"
}

# duolink_prepare run|test [EXTRA_PACKAGE...]
# What a command needs before it builds in build/: the packages and the
# configured build directory. "run" installs only what the program needs and
# leaves the tests out of a fresh build/ (one with tests stays as it is);
# "test" adds the test packages and turns the tests and benchmarks on.
duolink_prepare() {
    local mode="$1"
    shift
    if [ "$mode" = run ]; then
        duolink_ensure_packages "${DUOLINK_RUN_PACKAGES[@]}" "$@"
        [ -f "$DUOLINK_BUILD/build.ninja" ] ||
            duolink_configure_dir "$DUOLINK_BUILD" -DDUOLINK_BUILD_TESTS=OFF -DDUOLINK_BUILD_BENCH=OFF
    else
        duolink_ensure_packages "${DUOLINK_RUN_PACKAGES[@]}" "${DUOLINK_TEST_PACKAGES[@]}" "$@"
        duolink_configure_dir "$DUOLINK_BUILD" -DDUOLINK_BUILD_TESTS=ON -DDUOLINK_BUILD_BENCH=ON
    fi
}
