#!/usr/bin/env bash
# Installs what is missing (Debian packages), builds the program and starts it; any arguments
# go to the program (e.g. `bash scripts/run.sh --help`). Needs bash and apt, and root or sudo
# for the first install; nothing else.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
# Only the program: the tests and benchmarks are built by the commands that use them.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --parallel 2 --target tunvero
exec build/app/tunvero "$@"
