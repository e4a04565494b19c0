# Thin wrapper over CMake: every target first makes sure the Debian packages
# are there, so a fresh machine needs nothing but these commands.
RELEASE_DIR := build
TEST_DIR    := build-asan
FUZZ_DIR    := build-fuzz
FUZZ_SECONDS ?= 60
JOBS        ?= $(shell nproc)

.PHONY: all deps build test fuzz run bench install clean

all: build

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B $(RELEASE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(RELEASE_DIR) -j $(JOBS)

test: deps
	cmake -S . -B $(TEST_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTOLVANE_SANITIZE=ON \
		-DTOLVANE_BUILD_BENCH=OFF
	cmake --build $(TEST_DIR) -j $(JOBS)
	cd $(TEST_DIR) && ctest --output-on-failure -j $(JOBS)

# libFuzzer targets built with clang, then each run for FUZZ_SECONDS seconds.
fuzz: deps
	cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTOLVANE_FUZZ=ON \
		-DTOLVANE_BUILD_APP=OFF -DTOLVANE_BUILD_TESTS=OFF -DTOLVANE_BUILD_BENCH=OFF
	cmake --build $(FUZZ_DIR) -j $(JOBS)
	$(FUZZ_DIR)/fuzz/tolvane-fuzz-seeds $(FUZZ_DIR)/seeds
	FUZZ_SECONDS=$(FUZZ_SECONDS) scripts/run-fuzzers $(FUZZ_DIR)

run: build
	$(RELEASE_DIR)/bin/tolvane

bench: build
	$(RELEASE_DIR)/bin/tolvane-bench

install: build
	cmake --install $(RELEASE_DIR)

clean:
	rm -rf $(RELEASE_DIR) $(TEST_DIR) $(FUZZ_DIR)
