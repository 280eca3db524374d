#!/usr/bin/env bash
# Installs, on Debian 12 as root, every package the driver needs to build and to be tested.
set -euo pipefail

packages=(
  clang                 # the fuzzer build (libFuzzer)
  clang-format          # the formatting check
  cmake                 # build
  g++                   # build
  googletest            # unit and process tests (GoogleTest sources)
  libgmock-dev          # unit tests
  libgtest-dev          # unit tests
  libclang-rt-14-dev    # libFuzzer and the sanitizer runtimes for clang
  libicu-dev            # grapheme clusters and Unicode upper-casing
  make                  # build
  nlohmann-json3-dev    # JSON requests and replies
  pkg-config            # finding the libraries above
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
