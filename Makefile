# The two commands a new user needs: `make run` and `make test`. Both install what is missing.
BUILD      ?= build
FUZZ_BUILD ?= build-fuzz
JOBS       ?= $(shell nproc)
FUZZ_SECONDS ?= 20

.PHONY: all deps configure build run test unit-test fuzz bench package clean

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD)/build.ninja: CMakeLists.txt
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Opens the Pressbolt window; without a display it runs the command line's demo instead.
run: build
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  $(BUILD)/src/pressbolt $(URL); \
	else \
	  echo "No display: running the command-line demo (pressbolt-cli --demo) instead."; \
	  $(BUILD)/src/pressbolt-cli --demo; \
	fi

# Fuzzers first (clang, ASan+UBSan, a bounded time each), then every test of the main build,
# so the last line printed is the test runner's summary of the whole suite.
test: build fuzz
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DPRESSBOLT_GUI=OFF -DPRESSBOLT_FUZZ=ON -DPRESSBOLT_FUZZ_SECONDS=$(FUZZ_SECONDS)
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	ctest --test-dir $(FUZZ_BUILD) --output-on-failure --no-tests=ignore

bench: build
	bash bench/run.sh $(BUILD)

# A Release build as a packager makes it (warnings stay warnings) and its Debian package.
RELEASE_BUILD ?= build-release
package: deps
	cmake -S . -B $(RELEASE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DPRESSBOLT_TESTS=OFF
	cmake --build $(RELEASE_BUILD) -j $(JOBS)
	cd $(RELEASE_BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD) $(FUZZ_BUILD) $(RELEASE_BUILD)
