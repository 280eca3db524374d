#!/usr/bin/env bash
# Type-checks every macOS source, and the entry that picks the macOS platform, against
# declarations of the Apple calls as strict as Apple's own headers in C++ (tests/macos/shim):
# with g++ and clang++, and with the Objective-C BOOL of Apple silicon (bool) and of Intel Macs
# (signed char). Nothing is built: macOS itself cannot be built here.
set -euo pipefail
cd "$(dirname "$0")/.."

check() {
    local compiler=$1 objc_bool=$2 source=$3
    "$compiler" -std=c++20 -fsyntax-only -Wall -Wextra -Werror -D__APPLE__ \
        -DMACSHIM_OBJC_BOOL_IS_BOOL="$objc_bool" -isystem tests/macos/shim -Isrc "$source" ||
        { echo "macos-typecheck: $source fails with $compiler, BOOL is bool: $objc_bool"; return 1; }
}
export -f check

sources=(src/platform/macos/*.cpp src/main/main.cpp)
for compiler in g++ clang++; do
    for objc_bool in 0 1; do
        printf "$compiler $objc_bool %s\n" "${sources[@]}"
    done
done | xargs -P "$(nproc)" -L 1 bash -c 'check "$@"' check
echo "macos-typecheck: ${#sources[@]} sources pass with g++ and clang++, both BOOLs"
