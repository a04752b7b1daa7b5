# Wrappers around CMake: `make demo` and `make test` set up a fresh machine, build and run.
# SANITIZE=1 builds with AddressSanitizer and UndefinedBehaviorSanitizer in a separate folder,
# SANITIZE=thread with ThreadSanitizer.

# The nested makes of the CMake build would otherwise announce every directory they enter.
MAKEFLAGS += --no-print-directory

SANITIZE ?= 0
CTEST_ARGS ?=
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
BUILD_TYPE ?= RelWithDebInfo

ifeq ($(SANITIZE),1)
BUILD_DIR ?= build-asan
CMAKE_FLAGS += -DQMV3_SANITIZE=ON
BUILD_TYPE = Debug
else ifeq ($(SANITIZE),thread)
BUILD_DIR ?= build-tsan
CMAKE_FLAGS += -DQMV3_SANITIZE_THREAD=ON
BUILD_TYPE = Debug
else
BUILD_DIR ?= build
endif

FUZZ_DIR ?= build-fuzz
FUZZ_CC ?= clang-14
FUZZ_CXX ?= clang++-14
FUZZ_PACKAGES = clang-14 libclang-rt-14-dev
# FUZZ_ALL=1 also builds the rest of the project with clang (the tests included), so that CI sees
# every warning clang has to give.
FUZZ_ALL ?= 0
ifeq ($(FUZZ_ALL),1)
FUZZ_FLAGS = -DQMV3_BUILD_TESTS=ON
FUZZ_TARGETS = --target all --target fuzzers
else
FUZZ_FLAGS = -DQMV3_BUILD_TESTS=OFF
FUZZ_TARGETS = --target fuzzers
endif
# BUILD_TARGETS limits a build to some targets (for example the thread sanitizer's test programs).
BUILD_TARGETS ?=

.PHONY: all deps browser-deps configure build demo test docs bench fuzz fuzz-replay clean

all: build

deps:
	@scripts/install-deps.sh

# The Python package is built and tested against Debian's interpreter, whose numpy and pytest the
# dependency script installs (another python3 may come first on the PATH).
PYTHON ?= /usr/bin/python3
CMAKE_FLAGS += -DPython3_EXECUTABLE=$(PYTHON)

# Chromium for the browser test of the report; plain `make test` skips that test without it.
BROWSER_PACKAGES = chromium
browser-deps:
	@QMV3_EXTRA_PACKAGES="$(BROWSER_PACKAGES)" scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS) $(foreach target,$(BUILD_TARGETS),--target $(target))

# The demo needs only the library, the stand-in and the tool (which depends on both), not the tests.
demo: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target qmv3-cli
	@$(BUILD_DIR)/qmv3 demo --dir $(BUILD_DIR)/demo

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS) $(CTEST_ARGS)

# The API pages: Doxygen (installed on demand) over the public header into $(BUILD_DIR)/docs/html;
# every warning, such as an undocumented export or parameter, fails.
docs:
	@QMV3_DOCS=1 scripts/install-deps.sh
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD_DIR) --target docs

# The libFuzzer harnesses, built by clang with the sanitizers (see fuzz/CMakeLists.txt).
fuzz:
	@QMV3_EXTRA_PACKAGES="$(FUZZ_PACKAGES)" scripts/install-deps.sh
	@CC=$(FUZZ_CC) CXX=$(FUZZ_CXX) cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DQMV3_BUILD_FUZZ=ON $(FUZZ_FLAGS) >/dev/null
	@cmake --build $(FUZZ_DIR) -j $(JOBS) $(FUZZ_TARGETS)

# Every libFuzzer harness runs once over its seeds and its kept failures (no mutation).
fuzz-replay: fuzz
	@passed=0; failed=0; \
	for harness in $(FUZZ_DIR)/fuzz/*_fuzzer; do \
		name=$$(basename $$harness _fuzzer); \
		dirs=fuzz/corpus/$$name; [ -d fuzz/regressions/$$name ] && dirs="$$dirs fuzz/regressions/$$name"; \
		if ORSEL_CLIENTLIB_LOGGING_PATH=$(FUZZ_DIR) $$harness -runs=0 $$dirs >$(FUZZ_DIR)/replay-$$name.log 2>&1; \
		then passed=$$((passed + 1)); else failed=$$((failed + 1)); echo "FAILED: $$name"; \
			tail -40 $(FUZZ_DIR)/replay-$$name.log; fi; \
	done; \
	echo "fuzz-replays: $$passed passed, $$failed failed"; [ $$failed -eq 0 ]

# Release build of the benchmark program in its own folder; BENCH_ARGS go to the program.
# The Python benchmark follows with its own ratio (the package's load against the C load).
bench: deps
	@cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DQMV3_BUILD_BENCH=ON -DQMV3_BUILD_TESTS=OFF \
		-DPython3_EXECUTABLE=$(PYTHON) >/dev/null
	@cmake --build build-bench -j $(JOBS) --target qmv3_bench
	@if [ -d build-bench/python ]; then cmake --build build-bench -j $(JOBS) --target qmv3_python; fi
	@build-bench/bench/qmv3_bench $(BENCH_ARGS)
	@if [ -d build-bench/python ]; then PYTHONPATH=build-bench/python $(PYTHON) python/bench/frames_bench.py; fi
	@if [ -d build-bench/python ]; then PYTHONPATH=build-bench/python $(PYTHON) python/bench/statistics_bench.py; fi
	@if [ -d build-bench/python ]; then PYTHONPATH=build-bench/python $(PYTHON) python/bench/files_bench.py; fi

clean:
	rm -rf build build-asan build-tsan build-bench build-fuzz
