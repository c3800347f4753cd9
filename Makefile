# Front end for the CMake builds. `make test` is all a fresh machine needs.
JOBS ?= $(shell nproc)

.PHONY: all deps configure build test clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake --preset native >/dev/null

build: configure
	@cmake --build --preset native -j $(JOBS)

test: build
	@ctest --preset native -j $(JOBS)

clean:
	rm -rf build
