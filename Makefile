# The two commands a new user needs: `make run` and `make test`. Both install what is missing.
BUILD      ?= build
FUZZ_BUILD ?= build-fuzz
SAN_BUILD  ?= build-sanitize
JOBS       ?= $(shell nproc)
FUZZ_SECONDS ?= 20

.PHONY: all deps configure build run test check unit-test fuzz sanitize bench package interop image-check clean

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

# The main build and every one of its tests: what a newcomer runs to know the tree works.
test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The slower checks CI adds: the fuzzers (clang, ASan+UBSan, a bounded time each) and the whole
# Qt-free suite under the sanitizers, each in a build of its own.
check: fuzz sanitize

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DPRESSBOLT_GUI=OFF -DPRESSBOLT_FUZZ=ON -DPRESSBOLT_FUZZ_SECONDS=$(FUZZ_SECONDS)
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	ctest --test-dir $(FUZZ_BUILD) --output-on-failure --no-tests=ignore

# Every test of the Qt-free programs and libraries built and run under AddressSanitizer,
# LeakSanitizer and UndefinedBehaviorSanitizer; any report fails its test. The window's tests run
# in the main build only: Qt's and WebEngine's own allocations would drown LeakSanitizer's report.
sanitize: deps
	cmake -S . -B $(SAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPRESSBOLT_SANITIZE=ON \
	  -DPRESSBOLT_GUI=OFF
	cmake --build $(SAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=0 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  ctest --test-dir $(SAN_BUILD) --output-on-failure -j $(JOBS) -E '$(SAN_EXCLUDE)'

# With every descriptor taken, the sanitizers' own memory probe (a pipe) fails and UBSan reports
# a false "invalid vptr": the three tests that exhaust the descriptor table run in the main build
# only. The container image check compares the image with the real build's libraries.
SAN_EXCLUDE = ^(WSocketErrors\.TooManyOpenFilesIsAnOrdinaryError|Cli\.TwentyThousandUsersOutgrowTheDescriptorTableCleanly|EngineTest\.DescriptorsShortOfTheUsersAreWarnedOfAndCountedAsClientErrors|deploy_kubernetes)$$

# pressbolt-cli against real servers and proxies from Debian's packages (Apache, lighttpd, nginx,
# squid, HAProxy, tinyproxy), each started on loopback ports and compared with its own access log.
# CI runs it; `make test` does not. It installs what it uses.
interop: build
	@bash scripts/install-interop-deps.sh
	python3 tests/interop/interop.py --cli $(BUILD)/src/pressbolt-cli

# The load generators' container image, built with podman and run as the Kubernetes Job runs it
# (network namespaces for hosts, so as root). CI runs it; it needs no build of its own.
image-check:
	bash deploy/test/image-check.sh

bench: build
	@bash scripts/install-bench-deps.sh
	bash bench/run.sh $(BUILD)

# A Release build as a packager makes it (warnings stay warnings), its Debian package, and
# Debian's own check of that package: any error or warning of lintian fails (a finding that must
# stay goes, with its reason, into data/debian/lintian-overrides, which the package then carries).
RELEASE_BUILD ?= build-release
package: deps
	cmake -S . -B $(RELEASE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DPRESSBOLT_TESTS=OFF
	cmake --build $(RELEASE_BUILD) -j $(JOBS)
	rm -f $(RELEASE_BUILD)/*.deb
	cd $(RELEASE_BUILD) && cpack -G DEB
	bash scripts/check-package.sh $(RELEASE_BUILD)/*.deb

clean:
	rm -rf $(BUILD) $(FUZZ_BUILD) $(SAN_BUILD) $(RELEASE_BUILD)
