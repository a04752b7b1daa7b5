# Wrappers around CMake: `make demo` and `make test` set up a fresh machine, build and run.
# SANITIZE=1 builds with AddressSanitizer and UndefinedBehaviorSanitizer in a separate folder,
# SANITIZE=thread with ThreadSanitizer.

SANITIZE ?= 0
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

.PHONY: all deps configure build demo test bench fuzz clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

demo: build
	@$(BUILD_DIR)/qmv3 demo --dir $(BUILD_DIR)/demo

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# Release build of the benchmark program in its own folder; BENCH_ARGS go to the program.
bench: deps
	@cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DQMV3_BUILD_BENCH=ON -DQMV3_BUILD_TESTS=OFF >/dev/null
	@cmake --build build-bench -j $(JOBS) --target qmv3_bench
	@build-bench/bench/qmv3_bench $(BENCH_ARGS)

clean:
	rm -rf build build-asan build-tsan build-bench build-fuzz
