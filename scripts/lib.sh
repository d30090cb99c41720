# Shared by the scripts: where things are built and how Wine is set up.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${TAVELIN_BUILD:-$ROOT/build}
PREFIX=${TAVELIN_WINEPREFIX:-$BUILD/wineprefix}
JOBS=${TAVELIN_JOBS:-$(nproc)}

configure_native() {
    cmake -S "$ROOT" -B "$BUILD/native" -DCMAKE_BUILD_TYPE=Debug >/dev/null
}

configure_win() { # $1: x86_64 or i686
    local arch=$1 extra=()
    [ "$arch" = x86_64 ] && extra+=("-DCMAKE_CROSSCOMPILING_EMULATOR=$ROOT/scripts/wine-run;--prefix;$PREFIX")
    [ "$arch" = i686 ] && extra+=(-DTAVELIN_TESTS=OFF)
    cmake -S "$ROOT" -B "$BUILD/win-$arch" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-mingw-$arch.cmake" "${extra[@]}" >/dev/null
}

# A persistent wineserver keeps each test start at about 0.1 s instead of 1.2 s.
start_wineserver() {
    "$ROOT/scripts/wine-run" --prefix "$PREFIX" --ensure-only
    WINEPREFIX=$PREFIX wineserver -p
    # Start Wine's own background processes now, detached from any output pipe: started by a
    # test, they would inherit CTest's pipes and keep it waiting after the test has ended.
    "$ROOT/scripts/wine-run" --prefix "$PREFIX" cmd /c exit </dev/null >/dev/null 2>&1
}

stop_wineserver() {
    WINEPREFIX=$PREFIX wineserver -k 2>/dev/null || true
}
