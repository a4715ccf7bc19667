# QunaAgg2: the two commands a developer needs are `make demo` and `make test`.
# Each build lives in its own folder so that re-runs are incremental:
#   build-demo  the demo build (optimised, without tests)
#   build-test  tests with warnings as errors
#   build-asan  the same tests under AddressSanitizer/UndefinedBehaviorSanitizer
#   build-fuzz  libFuzzer targets built with clang (only when clang++ is present)
#   build-windows  the Windows build (MinGW-w64), its zip and its tests under Wine

SHELL := /bin/bash
.SHELLFLAGS := -eu -o pipefail -c
.DEFAULT_GOAL := help

JOBS ?= 2
BUILD_DEMO ?= build-demo
BUILD_TEST ?= build-test
BUILD_ASAN ?= build-asan
BUILD_FUZZ ?= build-fuzz
BUILD_WINDOWS ?= build-windows
FUZZ_SECONDS ?= 20
CMAKE_CONFIGURE := cmake -G Ninja -S .
LSAN_SUPP := $(CURDIR)/tests/lsan.supp
FUZZ_TARGETS := zip_fuzz db_fuzz db_rewrite_fuzz jet_reader_fuzz

.PHONY: help setup demo test package build-demo test-plain test-asan fuzz-smoke windows \
        build-windows test-windows
# The steps of `make test` run in the order given, even under make -j.
.NOTPARALLEL:

help:
	@echo "make demo   build the updater and run it on a demo installation"
	@echo "make test   build and run the whole test suite, also under the sanitizers"
	@echo "make package  build the Debian package quna-updater_<version>_amd64.deb"
	@echo "make windows  build the Windows zip QunaAgg2-<version>-windows.zip"
	@echo "make test-windows  the Windows build's tests under Wine"

# Each target installs only the packages of its group (scripts/setup.sh): the tests everything,
# the package what building and packaging need, the demo what building and showing it need.
SETUP_GROUP = test
demo: SETUP_GROUP = demo
package: SETUP_GROUP = package

setup:
	@scripts/setup.sh $(SETUP_GROUP)

# ---------------------------------------------------------------- demo
build-demo: setup
	$(CMAKE_CONFIGURE) -B $(BUILD_DEMO) -DCMAKE_BUILD_TYPE=Release -DQUNA_TESTS=OFF
	cmake --build $(BUILD_DEMO) -j$(JOBS)

demo: build-demo
	QUNA_BIN=$${QUNA_BIN:-$(BUILD_DEMO)/app/QunaAgg2} \
	  JETWRITE=$${JETWRITE:-$(BUILD_DEMO)/tools/jetwriter/jetwrite} scripts/demo.sh

# The Debian package, from the optimised build; the .deb is copied to the top folder.
package: build-demo
	cmake --build $(BUILD_DEMO) --target package
	cp $(BUILD_DEMO)/quna-updater_*_amd64.deb .
	@ls -1 quna-updater_*_amd64.deb

# ---------------------------------------------------------------- tests
test-plain: setup
	$(CMAKE_CONFIGURE) -B $(BUILD_TEST) -DCMAKE_BUILD_TYPE=Debug -DQUNA_WERROR=ON
	cmake --build $(BUILD_TEST) -j$(JOBS)
	ctest --test-dir $(BUILD_TEST) --output-on-failure --no-tests=error -j$(JOBS) | tee $(BUILD_TEST)/ctest-summary.log

test-asan: setup
	$(CMAKE_CONFIGURE) -B $(BUILD_ASAN) -DCMAKE_BUILD_TYPE=Debug -DQUNA_WERROR=ON -DQUNA_SANITIZE=ON
	cmake --build $(BUILD_ASAN) -j$(JOBS)
	ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(LSAN_SUPP) \
	  ctest --test-dir $(BUILD_ASAN) --output-on-failure --no-tests=error -j$(JOBS) | tee $(BUILD_ASAN)/ctest-summary.log

# Short smoke run of each fuzz target that exists, on a scratch copy of its seed corpus
# (tests/fuzz/corpus/<target>/). Writes the number of targets run to $(BUILD_FUZZ)/smoke-count.
fuzz-smoke: setup
	@if ! command -v clang++ >/dev/null; then \
	  echo "fuzz: clang++ not found, skipping the fuzz smoke runs"; exit 0; \
	fi; \
	CC=clang CXX=clang++ $(CMAKE_CONFIGURE) -B $(BUILD_FUZZ) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DQUNA_FUZZ=ON -DQUNA_TESTS=OFF; \
	targets=$$(cmake --build $(BUILD_FUZZ) --target help); \
	ran=0; \
	for t in $(FUZZ_TARGETS); do \
	  if ! grep -qw "$$t" <<<"$$targets"; then echo "fuzz: no target $$t, skipped"; continue; fi; \
	  cmake --build $(BUILD_FUZZ) -j$(JOBS) --target "$$t"; \
	  bin=$$(find $(BUILD_FUZZ) -type f -name "$$t" -perm -u+x | head -n 1); \
	  if [[ -z "$$bin" ]]; then echo "fuzz: $$t was built but its binary was not found" >&2; exit 1; fi; \
	  work=$$(mktemp -d); mkdir "$$work/corpus"; \
	  if [[ -d tests/fuzz/corpus/$$t ]]; then cp -r tests/fuzz/corpus/$$t/. "$$work/corpus/"; fi; \
	  echo "fuzz: $$t for $(FUZZ_SECONDS) s"; \
	  if ! ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(LSAN_SUPP) \
	       "$$bin" -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	       -artifact_prefix="$$work/" "$$work/corpus" >"$$work.log" 2>&1; then \
	    tail -n 60 "$$work.log"; \
	    echo "fuzz: $$t FAILED; the crashing input and the log are in $$work and $$work.log" >&2; exit 1; \
	  fi; \
	  grep -E '^(stat::number_of_executed_units|Done )' "$$work.log" || true; \
	  rm -rf "$$work" "$$work.log"; \
	  ran=$$((ran + 1)); \
	done; \
	echo "$$ran" > $(BUILD_FUZZ)/smoke-count

test: test-plain test-asan fuzz-smoke
	@n=0; for f in $(BUILD_TEST)/ctest-summary.log $(BUILD_ASAN)/ctest-summary.log; do \
	  c=$$(sed -n 's/.*tests failed out of \([0-9][0-9]*\).*/\1/p' "$$f" | tail -n 1); \
	  n=$$((n + $${c:-0})); \
	done; \
	f=$$(cat $(BUILD_FUZZ)/smoke-count 2>/dev/null || echo 0); rm -f $(BUILD_FUZZ)/smoke-count; \
	echo "tests: $$((n + f)) passed, 0 failed"

# ---------------------------------------------------------------- Windows
# The libraries come from scripts/windows-toolchain.sh (built once into a cache outside the
# clone, about 40 minutes the first time); the end-to-end tests write their databases with the
# Linux build's jetwrite.
build-windows: setup
	toolchain=$$(scripts/windows-toolchain.sh | tail -n 1); \
	$(CMAKE_CONFIGURE) -B $(BUILD_TEST) -DCMAKE_BUILD_TYPE=Debug -DQUNA_WERROR=ON >/dev/null; \
	cmake --build $(BUILD_TEST) -j$(JOBS) --target jetwrite; \
	$(CMAKE_CONFIGURE) -B $(BUILD_WINDOWS) -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DQUNA_WINDOWS_TOOLCHAIN="$$toolchain" \
	  -DQUNA_HOST_JETWRITE=$(CURDIR)/$(BUILD_TEST)/tools/jetwriter/jetwrite
	cmake --build $(BUILD_WINDOWS) -j$(JOBS)
	cmake --build $(BUILD_WINDOWS) --target windows-zip

windows: build-windows
	cp $(BUILD_WINDOWS)/packaging/QunaAgg2-*-windows.zip .
	@ls -1 QunaAgg2-*-windows.zip

test-windows: build-windows
	ctest --test-dir $(BUILD_WINDOWS) --output-on-failure --no-tests=error -j$(JOBS) | tee $(BUILD_WINDOWS)/ctest-summary.log
