# The two commands that do everything on a fresh Debian machine:
#   make run    installs what is missing, builds the program and starts it
#   make test   installs what is missing, builds and runs every test
#   make deb    builds the Debian package build/tunvero_<version>_<arch>.deb
.PHONY: run test test-sanitize build configure program deb check-deb bench bench-sync screenshots clean

configure:
	scripts/install-deps.sh
	cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

# Only the program: the tests and benchmarks are built by the targets that use them.
program: configure
	cmake --build build --parallel 2 --target tunvero

build: configure
	cmake --build build --parallel 2

run: program
	build/app/tunvero

test:
	scripts/run-tests.sh

test-sanitize:
	scripts/run-tests.sh --sanitize

# A release build of its own, without tests or benchmarks, installed under /usr.
deb:
	scripts/install-deps.sh --deb
	cmake -S . -B build-deb -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
		-DBUILD_TESTING=OFF -DTUNVERO_BENCH=OFF >/dev/null
	cmake --build build-deb --parallel 2
	cd build-deb && cpack -G DEB
	@ls build-deb/*.deb

check-deb: deb
	scripts/check-deb.sh build-deb/*.deb

bench: build
	scripts/run-bench.sh
	python3 bench/sync_bench.py build/app/tunvero

# Ten clients and a server of the real program play a run in step, then four clients in a
# house on one machine; prints the skews. `make bench-sync ONLY="links drift"` runs only those.
bench-sync: program
	cmake --build build --parallel 2 --target tunvero_heard_onsets
	python3 bench/sync_bench.py build/app/tunvero $(foreach s,$(ONLY),--only $(s))

screenshots: build
	scripts/screenshot.sh

clean:
	rm -rf build build-asan build-deb
