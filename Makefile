# Shorthands for those who have make; the README's two commands need only bash:
#   make run    = bash scripts/run.sh         installs what is missing, builds and starts it
#   make test   = bash scripts/run-tests.sh   installs what is missing, builds, runs every test
#   make deb    = bash scripts/build-deb.sh   the Debian package build-deb/tunvero_<version>_<arch>.deb
.PHONY: run test test-sanitize build configure program deb check-deb bench bench-sync screenshots clean

configure:
	bash scripts/install-deps.sh
	cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

# Only the program: the tests and benchmarks are built by the targets that use them.
program: configure
	cmake --build build --parallel 2 --target tunvero

build: configure
	cmake --build build --parallel 2

run:
	bash scripts/run.sh

test:
	bash scripts/run-tests.sh

test-sanitize:
	bash scripts/run-tests.sh --sanitize

deb:
	bash scripts/build-deb.sh

check-deb: deb
	bash scripts/check-deb.sh build-deb/*.deb

bench: build
	bash scripts/run-bench.sh
	python3 bench/sync_bench.py build/app/tunvero

# Ten clients and a server of the real program play a run in step, then four clients in a
# house on one machine; prints the skews. `make bench-sync ONLY="links drift"` runs only those.
bench-sync: program
	cmake --build build --parallel 2 --target tunvero_heard_onsets
	python3 bench/sync_bench.py build/app/tunvero $(foreach s,$(ONLY),--only $(s))

screenshots: build
	bash scripts/screenshot.sh

clean:
	rm -rf build build-asan build-deb
