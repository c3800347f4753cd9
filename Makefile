# Front end for the CMake builds. `make test` is all a fresh machine needs.
JOBS ?= $(shell nproc)

.PHONY: all deps configure build test bench clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake --preset native >/dev/null

build: configure
	@cmake --build --preset native -j $(JOBS)

test: build
	@ctest --preset native -j $(JOBS)

# Speed measurements; not part of `make test`.
bench: deps
	@cmake --preset bench >/dev/null
	@cmake --build --preset bench -j $(JOBS)
	@if [ -x build/bench/portmedic_bench ]; then build/bench/portmedic_bench $(BENCH_ARGS); \
	 else echo "no benchmarks yet"; fi

clean:
	rm -rf build
