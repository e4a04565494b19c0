# Thin wrapper over CMake: every target first makes sure the Debian packages
# are there, so a fresh machine needs nothing but these commands.
RELEASE_DIR := build
TEST_DIR    := build-asan
JOBS        ?= $(shell nproc)

.PHONY: all deps build test run bench install clean

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

run: build
	$(RELEASE_DIR)/bin/tolvane

bench: build
	$(RELEASE_DIR)/bin/tolvane-bench

install: build
	cmake --install $(RELEASE_DIR)

clean:
	rm -rf $(RELEASE_DIR) $(TEST_DIR)
