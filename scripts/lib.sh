# Shared by the scripts: where things are built and how Wine is set up.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${TAVELIN_BUILD:-$ROOT/build}
PREFIX=${TAVELIN_WINEPREFIX:-$BUILD/wineprefix}
JOBS=${TAVELIN_JOBS:-$(nproc)}

configure_native() {
    cmake -S "$ROOT" -B "$BUILD/native" -DCMAKE_BUILD_TYPE=Debug >/dev/null
}

# The shipped program and the benchmark tools, built with the win32 thread-model compilers so that
# no winpthreads is linked in (see README).
program_exe() { # $1: x86_64 or i686
    echo "$BUILD/program-$1/src/tavelin.exe"
}

build_program() { # $1: x86_64 or i686, then targets (default: all)
    local arch=$1
    shift
    cmake -S "$ROOT" -B "$BUILD/program-$arch" -DCMAKE_BUILD_TYPE=Release -DTAVELIN_TESTS=OFF \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-mingw-$arch.cmake" >/dev/null
    local targets=()
    [ $# -gt 0 ] && targets=(--target "$@")
    cmake --build "$BUILD/program-$arch" -j "$JOBS" "${targets[@]}"
}

# The Windows tests: posix compilers (GoogleTest and the tests use threads), run under Wine; they
# start the shipped x86_64 program, which build_program x86_64 builds.
configure_win() {
    cmake -S "$ROOT" -B "$BUILD/win-x86_64" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-mingw-x86_64-posix.cmake" \
        "-DCMAKE_CROSSCOMPILING_EMULATOR=$ROOT/scripts/wine-run;--prefix;$PREFIX" \
        -DTAVELIN_PROGRAM_EXE="$(program_exe x86_64)" >/dev/null
}

# The 32-bit tests, built here and run in the virtual machine (scripts/vm32), which holds this
# build tree at the same path: the suites that start the i686 program, and the test that runs it
# beside the x86_64 one on 64-bit Windows.
I686_TEST_TARGETS=(e2e_tests launch_witness arch_tests)
build_win_i686() {
    cmake -S "$ROOT" -B "$BUILD/win-i686" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-mingw-i686-posix.cmake" \
        -DTAVELIN_PROGRAM_EXE="$(program_exe i686)" \
        -DTAVELIN_OTHER_PROGRAM_EXE="$(program_exe x86_64)" >/dev/null
    cmake --build "$BUILD/win-i686" -j "$JOBS" --target "${I686_TEST_TARGETS[@]}"
}

# Both programs import only what their oldest Windows has (Wine cannot tell), and every
# delay-load slot holds the address of code; the check itself must fail on spoilt slots.
loader_check() {
    python3 "$ROOT/tools/loadercheck/loadercheck.py" "$(program_exe x86_64)" "$(program_exe i686)"
    python3 "$ROOT/tools/loadercheck/test_loadercheck.py" "$(program_exe x86_64)" \
        "$(program_exe i686)"
}

# A persistent wineserver keeps each test start at about 0.1 s instead of 1.2 s.
start_wineserver() {
    "$ROOT/scripts/wine-run" --prefix "$PREFIX" --ensure-only
    WINEPREFIX=$PREFIX wineserver -p
    # Start Wine's own background processes now, detached from any output pipe: started by a
    # test, they would inherit CTest's pipes and keep it waiting after the test has ended. The
    # command empties the crash debugger's: a crashing program then ends at once, where winedbg
    # would keep it alive and every test waiting on it would wait its full time.
    "$ROOT/scripts/wine-run" --prefix "$PREFIX" reg add \
        'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d '' /f \
        </dev/null >/dev/null 2>&1
}

stop_wineserver() {
    WINEPREFIX=$PREFIX wineserver -k 2>/dev/null || true
}
