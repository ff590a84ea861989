# shellcheck shell=bash disable=SC2034
# Sourced by the scripts that configure the Windows build (test.sh, run.sh,
# package.sh): its cmake arguments, the one place that says how build/win is
# configured. Needs ROOT.
WINDOWS_CMAKE_ARGS=(
  -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" -DCMAKE_BUILD_TYPE=Release
  -DCMAKE_CROSSCOMPILING_EMULATOR="$ROOT/tools/wine-run.sh" -DBITLOUPE_WERROR=ON
)
