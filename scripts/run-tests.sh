#!/usr/bin/env bash
# Runs every test of the project: the unit, scene and end-to-end tests through ctest.
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
ctest --test-dir "$build" --output-on-failure -j2
