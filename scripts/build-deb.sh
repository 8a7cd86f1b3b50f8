#!/usr/bin/env bash
# Builds the Debian package build-deb/tunvero_<version>_<arch>.deb: a release build of its own,
# without tests or benchmarks, installed under /usr. Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh --deb
# Debian's usual hardening: fortified string functions and a read-only table of bindings.
cmake -S . -B build-deb -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DBUILD_TESTING=OFF -DTUNVERO_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="-D_FORTIFY_SOURCE=2" -DCMAKE_EXE_LINKER_FLAGS="-Wl,-z,relro,-z,now" >/dev/null
cmake --build build-deb --parallel 2
rm -f build-deb/*.deb
(cd build-deb && cpack -G DEB >/dev/null)
ls build-deb/*.deb
