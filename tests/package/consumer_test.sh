#!/usr/bin/env bash
# usage: consumer_test.sh BUILD_DIR CONSUMER_SOURCE WORK_DIR SANITIZE CXX
set -euo pipefail
build=$1 src=$2 work=$3 sanitize=$4 cxx=$5
rm -rf "$work"
mkdir -p "$work"
prefix=$work/prefix
flags=""
if [ -n "$sanitize" ]; then flags="-fsanitize=$sanitize"; fi

cmake --install "$build" --prefix "$prefix" >"$work/install.log"

# 1. CMake package.
cmake -S "$src" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" \
    >"$work/configure.log"
cmake --build "$work/cmake-build" >"$work/build.log"
LD_LIBRARY_PATH="$prefix/lib:${LD_LIBRARY_PATH:-}" "$work/cmake-build/consumer"

# 2. pkg-config.
libdir=$(find "$prefix" -name nvsupport.pc -printf '%h\n' | head -n1)
test -n "$libdir"
export PKG_CONFIG_PATH="$libdir"
# shellcheck disable=SC2046
"$cxx" -std=c++20 $flags "$src/main.cpp" -o "$work/consumer-pc" $(pkg-config --cflags --libs nvsupport)
LD_LIBRARY_PATH="$(pkg-config --variable=libdir nvsupport):${LD_LIBRARY_PATH:-}" "$work/consumer-pc"
echo "consumer built and ran through CMake and pkg-config"
