#!/usr/bin/env bash
# Sets up the machine, builds Kolvenar and starts the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DKOLVENAR_TESTS=OFF
cmake --build build -j "$(nproc)"
exec build/app/kolvenar "$@"
