# Set-up and everyday commands. Each target installs missing packages first.
BUILD ?= build
GENERATOR ?= Ninja
JOBS ?= $(shell nproc)

.PHONY: deps configure build test demo test-sanitize clean fuzz bench soak test-windows docs unity-package

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@scripts/run-tests $(BUILD)

demo: build
	@scripts/run-demo $(BUILD)

# The test suite under AddressSanitizer with UndefinedBehaviorSanitizer, then under ThreadSanitizer.
# The ThreadSanitizer run leaves out the tests that drive WebKit; tests/sanitizers/tsan.supp says why.
TSAN_SKIP = ^(PlayAdEndToEndTest|c_interface_play|soak_short|KillTest)
SANITIZE_OPTIONS = -DCMAKE_BUILD_TYPE=Debug -DKESTREL_BUILD_EXAMPLES=OFF -DKESTREL_BUILD_BENCH=OFF
test-sanitize: deps
	@cmake -S . -B build-asan -G $(GENERATOR) $(SANITIZE_OPTIONS) -DKESTREL_SANITIZE=address,undefined >/dev/null
	@cmake --build build-asan -j $(JOBS)
	@UBSAN_OPTIONS="print_stacktrace=1 halt_on_error=1" scripts/run-tests build-asan
	@cmake -S . -B build-tsan -G $(GENERATOR) $(SANITIZE_OPTIONS) -DKESTREL_SANITIZE=thread >/dev/null
	@cmake --build build-tsan -j $(JOBS)
	@TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tests/sanitizers/tsan.supp" \
	  scripts/run-tests build-tsan -E '$(TSAN_SKIP)'

# Each fuzz target for FUZZ_SECONDS, built with clang in build-fuzz (scripts/run-fuzz).
FUZZ_SECONDS ?= 30
fuzz: deps
	@FUZZ_SECONDS=$(FUZZ_SECONDS) scripts/run-fuzz

# Micro-benchmarks, then the end-to-end figures against the local ad server
# (under Xvfb when there is no display), then the network table through the
# network simulator, then the ad server's inspector in Chromium. BENCH_RUNS runs per figure.
BENCH_RUNS ?= 7
bench: configure
	@cmake --build $(BUILD) -j $(JOBS) --target kestrel_micro_bench kestrel_e2e_bench kestrel-adserver
	@$(BUILD)/bench/kestrel_micro_bench
	@if [ -z "$$DISPLAY" ] && command -v xvfb-run >/dev/null 2>&1; then \
	  xvfb-run -a -s "-screen 0 1280x800x24" $(BUILD)/bench/kestrel_e2e_bench --runs $(BENCH_RUNS); \
	else $(BUILD)/bench/kestrel_e2e_bench --runs $(BENCH_RUNS); fi
	@$(BUILD)/bench/kestrel_e2e_bench --runs $(BENCH_RUNS) --network 0,50,150
	@node bench/inspector/inspector-bench.js $(BUILD)/tools/adserver/kestrel-adserver --runs $(BENCH_RUNS)

# SOAK_CYCLES load → play → close cycles in one process, under Xvfb when there
# is no display; fails when a figure keeps growing (tests/soak/SoakMain.cpp).
SOAK_CYCLES ?= 1000
soak: configure
	@cmake --build $(BUILD) -j $(JOBS) --target kestrel_soak
	@if [ -z "$$DISPLAY" ] && command -v xvfb-run >/dev/null 2>&1; then \
	  xvfb-run -a -s "-screen 0 1280x800x24" $(BUILD)/tests/kestrel_soak --cycles $(SOAK_CYCLES); \
	else $(BUILD)/tests/kestrel_soak --cycles $(SOAK_CYCLES); fi

# KestrelSDK.Win32.dll and the test suite cross-built with MinGW-w64 into
# build-windows/sdk and run under Wine (scripts/run-windows-tests).
test-windows:
	@BUILD=$(BUILD) JOBS=$(JOBS) scripts/run-windows-tests

# The Unity package, $(BUILD)/unity/com.kestrel.ads-VERSION.tgz, with the Windows DLL
# cross-built into build-windows/sdk and the Linux library (scripts/make-unity-package).
unity-package: deps
	@BUILD=$(BUILD) JOBS=$(JOBS) scripts/make-unity-package

# The API reference of the public headers, HTML in $(BUILD)/docs/html; any Doxygen warning fails it.
docs: deps
	@mkdir -p $(BUILD)/docs
	@KESTREL_DOCS_OUT=$(BUILD)/docs \
	  KESTREL_VERSION=$$(sed -n 's/^project(KestrelSDK VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt) doxygen docs/Doxyfile
	@echo "API reference: $(BUILD)/docs/html/index.html"

clean:
	rm -rf $(BUILD) build-asan build-tsan build-fuzz build-windows
