# Front end for the CMake builds. `make test` is all a fresh machine needs.
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60

.PHONY: all deps build run test test-native test-asan test-fuzz bench fuzz clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	@cmake --preset native >/dev/null
	@cmake --build --preset native -j $(JOBS)

# The scan tool on the bundled damaged device: detect (exit 1: damage found),
# repair into build/ (examples/ stays as it is), then the repaired file, clean.
SCAN = build/native/portmedic-scan
run: build
	@echo '$$ portmedic-scan examples/damaged-device.reg'
	@$(SCAN) examples/damaged-device.reg; test $$? -eq 1
	@echo
	@echo '$$ portmedic-scan --repair --output build/repaired-device.reg examples/damaged-device.reg'
	@$(SCAN) --repair --output build/repaired-device.reg examples/damaged-device.reg
	@echo
	@echo '$$ portmedic-scan build/repaired-device.reg'
	@$(SCAN) build/repaired-device.reg

# Every suite: the native unit suites, the same suites under AddressSanitizer
# and UndefinedBehaviorSanitizer, and a short smoke run of every fuzz target.
test: test-native test-asan test-fuzz

test-native: build
	@ctest --preset native -j $(JOBS)

test-asan: deps
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan -j $(JOBS)
	@ctest --preset asan -j $(JOBS)

test-fuzz: deps
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz -j $(JOBS)
	@scripts/run-fuzzers.sh 10

# Longer fuzzing: make fuzz FUZZ_SECONDS=600
fuzz: deps
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz -j $(JOBS)
	@scripts/run-fuzzers.sh $(FUZZ_SECONDS)

# Speed measurements; not part of `make test`.
bench: deps
	@cmake --preset bench >/dev/null
	@cmake --build --preset bench -j $(JOBS)
	@if [ -x build/bench/portmedic_bench ]; then build/bench/portmedic_bench $(BENCH_ARGS); \
	 else echo "no benchmarks yet"; fi

clean:
	rm -rf build
