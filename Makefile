# Front end for the CMake builds. `make test` is all a fresh machine needs.
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60
SCAN = build/native/portmedic-scan
WINE_RUN = scripts/wine-run.sh
# Each Windows suite runs whole in one Wine process; its cases only read
# their results from its report, so twice as many tests as cores run at once.
WINE_JOBS ?= $(shell echo $$(( $(JOBS) * 2 )))
PREFIX ?= /usr/local

# What `make test` runs: the format check, the native unit suites, the same
# suites under AddressSanitizer and UndefinedBehaviorSanitizer, the suite
# that reads and scans on two threads under ThreadSanitizer, a short
# smoke run of every fuzz target, the suites built for ARM under qemu, and
# the Windows suites under Wine, and the Pocket PC program's checks.
TEST_PARTS = test-wince test-windows test-armel test-asan test-tsan test-native test-fuzz test-format

# The package groups (scripts/install-deps.sh) each goal needs, with its
# prerequisites'. Every target that needs packages has `deps` before
# anything else, and make runs `deps` once: one installer run per make
# call, with the groups of all the goals given. A new target is one more
# NEEDS_ line (and, for a part of `make test`, a word in TEST_PARTS).
NEEDS_all = native
NEEDS_deps = native
NEEDS_build = native
NEEDS_run = native
NEEDS_tool = native
NEEDS_test = $(foreach part,$(TEST_PARTS),$(NEEDS_$(part)))
NEEDS_test-format = test
NEEDS_test-native = native test release
NEEDS_test-asan = native test release
NEEDS_test-tsan = native test
NEEDS_test-fuzz = native fuzz
NEEDS_test-armel = armel
NEEDS_wince = wince
NEEDS_test-wince = native wince
NEEDS_build-windows = native windows
NEEDS_test-windows = native windows
NEEDS_gui = native windows
NEEDS_size = native windows wince
NEEDS_fuzz = native fuzz
NEEDS_bench = native bench
NEEDS_install = native
NEEDS_package = native release
NEEDS_dist-windows = native windows wince
NEEDS_dist-pocketpc = wince
NEEDS = $(sort $(foreach goal,$(or $(MAKECMDGOALS),all),$(NEEDS_$(goal))))

# $(call configure-build,PRESET[,TARGETS]): configures the preset's build
# quietly, then builds all of it, or only TARGETS.
configure-build = cmake --preset $(1) >/dev/null && \
    cmake --build --preset $(1) -j $(JOBS)$(if $(2), --target $(2))

.PHONY: all deps build tool run test $(TEST_PARTS) build-windows wince gui size bench fuzz clean \
        install package dist-windows dist-pocketpc

all: build

deps:
	@$(if $(NEEDS),scripts/install-deps.sh $(NEEDS),:)

build: deps
	@$(call configure-build,native)

# The tool and its manual page alone, not the suites.
tool: deps
	@$(call configure-build,native,portmedic-scan portmedic-scan-man)

# The scan tool on the bundled damaged device: detect (exit 1: damage found),
# repair into build/ (examples/ stays as it is), then the repaired file, clean.
run: tool
	@echo '$$ portmedic-scan examples/damaged-device.reg'
	@$(SCAN) examples/damaged-device.reg; test $$? -eq 1
	@echo
	@echo '$$ portmedic-scan --repair --output build/repaired-device.reg examples/damaged-device.reg'
	@$(SCAN) --repair --output build/repaired-device.reg examples/damaged-device.reg
	@echo
	@echo '$$ portmedic-scan build/repaired-device.reg'
	@$(SCAN) build/repaired-device.reg

# The parts run three at a time, the longest first, each part's output
# shown whole when it ends, with the time since `make test` began: one
# part's lone steps (a configure, a suite's last slow case, the Windows
# suites' waiting on Wine and on windows drawn in Xvfb) leave the cores to
# the others. The packages of every part are installed first, once.
# TEST_PARALLEL=1 runs the parts one by one.
TEST_PARALLEL ?= 3
TEST_START := $(shell date +%s)
test: deps
	@echo "make test: $(TEST_PARTS), $(TEST_PARALLEL) at a time; each part's output comes when it ends"
	@$(MAKE) --no-print-directory -j $(TEST_PARALLEL) --output-sync=target \
	    NEEDS= TEST_START=$(TEST_START) $(TEST_PARTS)

# Said by each part of `make test` when it has passed.
part-passed = echo "== $@ passed, $$(( $$(date +%s) - $(TEST_START) )) s after the start"

# Every tracked .cpp/.h as .clang-format lays it out; names the files that
# are not (clang-format -i FILE mends one).
test-format: deps
	@scripts/check-format.sh
	@$(part-passed)

test-native: build
	@ctest --preset native -j $(JOBS)
	@$(part-passed)

test-asan: deps
	@$(call configure-build,asan)
	@ctest --preset asan -j $(JOBS)

# The suite whose cases read and scan on two threads, under ThreadSanitizer.
test-tsan: deps
	@$(call configure-build,tsan)
	@ctest --preset tsan -j $(JOBS)
	@$(part-passed)

test-fuzz: deps
	@$(call configure-build,fuzz)
	@scripts/run-fuzzers.sh 5
	@$(part-passed)

# The libraries and their suites built for ARM Linux (ARMv5TE, signed char
# as on the handhelds), each case run under qemu-arm-static.
test-armel: deps
	@$(call configure-build,armel)
	@ctest --preset armel -j $(JOBS)
	@$(part-passed)

# The Windows builds: win32 (i686) and win64 (x86_64).
# Where 32-bit Wine cannot run, win32 builds what ships and checks its size
# budget (the program, the shell, the tool), not suites that could not run.
build-windows: deps
	@if $(WINE_RUN) --can-run-32; then $(call configure-build,win32); \
	 else $(call configure-build,win32,size portmedic-scan); fi
	@$(call configure-build,win64)

# The Windows suites under Wine, all inside one Xvfb. 32-bit Wine needs a
# kernel that runs 32-bit programs and the optional wine32:i386 package;
# where either is missing, the win64 suites run the same tests.
test-windows: build-windows
	@xvfb-run -a sh -c '\
	  if $(WINE_RUN) --can-run-32; then ctest --preset win32 -j $(WINE_JOBS) || exit 1; \
	  else echo "win32 suites: not run ($$($(WINE_RUN) --why-not-32))"; fi; \
	  ctest --preset win64 -j $(WINE_JOBS)'
	@$(part-passed)

# The Pocket PC program (build/wince-arm/PORTMEDIC.exe: ARM, Windows CE,
# COREDLL.dll and AYGSHELL.dll only); the first build also makes the CE
# tools (scripts/wince-toolchain.sh). Its checks: the headers and imports a
# device's loader needs, its size budget, and the program run on an
# emulated handheld by the native build's CE runner (build/native/ce_runner).
wince: deps
	@$(call configure-build,wince-arm)

test-wince: wince build
	@ctest --preset wince-arm
	@$(part-passed)

# PORTMEDIC.exe for real under 64-bit Wine, on a sandbox prefix seeded with
# examples/damaged-device.reg: the test driver clicks through the menu,
# detect, repair and About (on $$DISPLAY when there is one, else inside
# Xvfb) and writes the screenshots to build/win64/screenshots and
# docs/screenshots.
gui: deps
	@$(call configure-build,win64,portmedic aygshell aygshell_no_menu_bar portmedic_e2e)
	@tests/e2e/run-e2e.sh $(WINE_RUN) build/win64 x86_64-w64-mingw32-objdump gui

# Sizes of PORTMEDIC.exe and aygshell.dll as the 32-bit desktop build, and
# of the ARM PORTMEDIC.exe for the device.
size: deps
	@$(call configure-build,win32,size)
	@$(call configure-build,wince-arm,size)

# Longer fuzzing: make fuzz FUZZ_SECONDS=600
fuzz: deps
	@$(call configure-build,fuzz)
	@scripts/run-fuzzers.sh $(FUZZ_SECONDS)

# Speed measurements; not part of `make test`.
bench: deps
	@$(call configure-build,bench)
	@build/bench/portmedic_bench $(BENCH_ARGS)
	@bash bench/scan-vs-lines.sh build/bench/portmedic-scan 50 build/bench/scan-vs-lines

clean:
	rm -rf build

# ---- install, package, bundle ------------------------------------------------

# portmedic-scan and its manual page: make install [PREFIX=/usr/local] [DESTDIR=...]
install: tool
	@DESTDIR="$(DESTDIR)" cmake --install build/native --prefix "$(PREFIX)"

# The Debian package of the two (build/native/portmedic-scan_VERSION_ARCH.deb),
# checked: contents, dpkg -i into a throwaway root, dependencies, lintian.
package: deps
	@$(call configure-build,native,portmedic-scan portmedic-scan-man portmedic-deb-doc)
	@cd build/native && cpack -G DEB >/dev/null
	@scripts/check-package.sh build/native/$$(cd build/native && ls -t portmedic-scan_*.deb | head -n 1)

# The Windows bundle (build/win32/portmedic-VERSION-win32.zip): the 32-bit
# PORTMEDIC.exe, aygshell.dll and portmedic-scan.exe with a README.txt, and
# the Pocket PC build's installation cabinet with its PORTMEDIC.ini.
dist-windows: deps
	@$(call configure-build,wince-arm,cab)
	@$(call configure-build,win32,dist-windows)

# The Pocket PC bundle (build/wince-arm/portmedic-VERSION-pocketpc-arm.zip):
# the ARM PORTMEDIC.exe with a README.txt, its installation cabinet
# (build/wince-arm/PORTMEDIC.ARM.CAB) and PORTMEDIC.ini.
dist-pocketpc: deps
	@$(call configure-build,wince-arm,dist-pocketpc)
