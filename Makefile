# Thin wrapper over CMake so that a new user needs nothing else.
BUILD_DIR ?= build
BUILD_TYPE ?= Release
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all configure run test bench format clean

all: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

configure:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS)

run: all
	./$(BUILD_DIR)/tuplets

test: all
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

bench: all
	@set -e; for b in $(BUILD_DIR)/bench/bench_*; do echo "== $$b"; $$b; done

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD_DIR)
