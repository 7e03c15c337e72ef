#!/usr/bin/env bash
# Builds OSTREL if needed and runs it on a problem file (default: the coaxial line example) in
# the folder run/, where it leaves ostrel.log and result.osl. Usage: scripts/run-example.sh [file]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh
input=$(realpath "${1:-examples/coax.inp}")
mkdir -p run
cd run
../build/ostrel "$input"
echo "--- result.osl ---"
cat result.osl
