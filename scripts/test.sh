#!/usr/bin/env bash
# Installs what is missing, builds OSTREL and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh
ctest --test-dir build --output-on-failure -j2
