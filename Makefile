# The two commands that do everything on a fresh Debian machine:
#   make run    installs what is missing, builds and starts Tunvero
#   make test   installs what is missing, builds and runs every test
.PHONY: run test test-sanitize build bench screenshots clean

build:
	scripts/install-deps.sh
	cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build build --parallel 2

run: build
	build/app/tunvero

test:
	scripts/run-tests.sh

test-sanitize:
	scripts/run-tests.sh --sanitize

bench: build
	scripts/run-bench.sh

screenshots: build
	scripts/screenshot.sh

clean:
	rm -rf build build-asan
