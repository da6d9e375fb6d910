#!/bin/sh
# The run command: installs what is missing, builds the Linux program and the
# tools the README uses next (build/linux/tools/NAME/NAME), and starts the
# program with the virtual printer and a demo data directory.
set -e
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/linux -G Ninja
cmake --build build/linux -j "$(nproc 2>/dev/null || echo 2)" --target quilo1 virtual-ecr \
  quilo1-submit quilo1-convert quilo1-console
DEMO=${QUILO1_DEMO_DIR:-$(pwd)/build/demo}
mkdir -p "$DEMO/data"
# Without arguments the program serves the virtual printer as COM1.
[ $# -eq 0 ] && set -- --virtual-printer
exec build/linux/src/service/quilo1 --program-dir "$DEMO" --data-dir "$DEMO/data" "$@"
