#!/usr/bin/env bash
# Sets up the machine, builds Kolvenar with AddressSanitizer and
# UndefinedBehaviorSanitizer (clang, so the fuzz targets build too) and runs
# every test. GUI tests run on a virtual display.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

build=${KOLVENAR_TEST_BUILD:-build-test}
cmake -S . -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DKOLVENAR_SANITIZE=ON -DKOLVENAR_TESTS=ON
cmake --build "$build" -j "$(nproc)"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
cd "$build"
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j "$(nproc)"
