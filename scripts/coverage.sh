#!/usr/bin/env bash
# Builds with coverage into build/coverage, runs every test and prints line
# and branch coverage of src/ and sim/.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v gcovr >/dev/null || scripts/install-deps.sh
build=build/coverage
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSKYH_BUILD_BENCH=OFF -DSKYH_BUILD_UI=OFF \
  -DCMAKE_C_COMPILER_LAUNCHER= -DCMAKE_CXX_COMPILER_LAUNCHER= \
  -DCMAKE_CXX_FLAGS="--coverage -O0" -DCMAKE_C_FLAGS="--coverage -O0" -DCMAKE_EXE_LINKER_FLAGS="--coverage" >/dev/null
cmake --build "$build"
find "$build" -name '*.gcda' -delete
ctest --test-dir "$build" -j2 --timeout 600 "$@" || echo "some tests failed; coverage is of the run as it went"
gcovr -r . --object-directory "$build" --filter 'src/' --filter 'sim/' --exclude 'src/ui/' \
  --gcov-ignore-parse-errors --print-summary -o "$build/coverage.txt" | tail -n 3
