#!/usr/bin/env bash
# Installs opticatcher with its test dependencies, then runs the C++ tests
# (GoogleTest) and the Python tests against the simulated platform.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ ! -f /usr/include/gtest/gtest.h ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libgtest-dev >/dev/null
fi
python3 -m pip install -q ".[test]"

cmake -S . -B build/cpp-tests -G Ninja -DOPTICATCHER_BUILD_TESTS=ON >/dev/null
cmake --build build/cpp-tests
ctest --test-dir build/cpp-tests --output-on-failure

python3 -m pytest -q
