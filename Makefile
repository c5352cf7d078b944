# The two commands of the README:
#   make run    installs what the program needs, builds it and starts it
#   make test   installs what the build needs, builds and runs every test suite
# Both work on a fresh Debian 12 machine (run as root, or with sudo available).

PRESET ?= dev
BUILD_PACKAGES := cmake ninja-build g++ make libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev nlohmann-json3-dev qt6-base-dev \
  clang libclang-rt-14-dev time perl bash-completion dpkg-dev file
RUN_PACKAGES := $(BUILD_PACKAGES)
# The Windows build: the MinGW-w64 cross compiler, GoogleTest's sources (the
# cross build compiles them) and Wine, which runs the Windows tests; the
# virtual X server and the keyboard driver of the test that runs VRKTool.exe
# as a user would.
WINDOWS_PACKAGES := cmake ninja-build make g++-mingw-w64-x86-64-posix googletest libcli11-dev nlohmann-json3-dev wine64 xvfb xdotool
# The release packages: dpkg-shlibdeps (dpkg-dev) computes the Debian
# package's dependencies from its binaries, lintian checks it.
PACKAGE_PACKAGES := dpkg-dev lintian file
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

FUZZ_SECONDS ?= 60

.PHONY: all deps deps-windows deps-package build run demo test test-dev test-asan test-windows windows package fuzz bench bench-windows clean

all: build

# Installs the Debian packages of a list that are missing, and only those.
define install-missing
	@missing=""; for p in $(1); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y --no-install-recommends $$missing; \
	fi
endef

deps:
	$(call install-missing,$(BUILD_PACKAGES))

deps-windows:
	$(call install-missing,$(WINDOWS_PACKAGES))

deps-package:
	$(call install-missing,$(PACKAGE_PACKAGES))

build: deps
	cmake --preset $(PRESET)
	cmake --build --preset $(PRESET)

# The desktop dialog; without a display, the command-line demo instead.
run: PRESET = release
run: build
	@if [ -n "$${DISPLAY:-}$${WAYLAND_DISPLAY:-}" ]; then ./build/release/ui/qt/vrktool; \
	else echo "No display: running the command-line demo (make demo) instead."; ./scripts/run-sample.sh build/release; fi

# Packs the sample folder with vrk, lists the archive and extracts it again.
demo: PRESET = release
demo: build
	./scripts/run-sample.sh build/release

test: deps test-dev test-asan fuzz test-windows

test-dev:
	cmake --preset dev
	cmake --build --preset dev
	ctest --preset dev

test-asan:
	cmake --preset asan
	cmake --build --preset asan
	ctest --preset asan

# vrk.exe and VRKTool.exe for 64-bit Windows, linked statically: they need
# no DLL beside them.
windows: deps-windows
	cmake --preset windows
	cmake --build --preset windows --target vrk vrktool
	@echo "Built build/windows/cli/vrk.exe and build/windows/ui/win32/VRKTool.exe"

# The release packages, in build/packages: the Debian package (checked with
# lintian, which must report no errors) and the zip for 64-bit Windows.
package: deps deps-windows deps-package
	cmake --preset package
	cmake --build --preset package
	cmake --preset windows
	cmake --build --preset windows
	rm -rf build/packages build/package/cpack build/windows/cpack
	mkdir -p build/packages
	cd build/package && cpack -B cpack
	cd build/windows && cpack -B cpack
	cp build/package/cpack/*.deb build/windows/cpack/*.zip build/packages/
	lintian --fail-on error build/packages/*.deb
	@ls -l build/packages

# The engine's, vrk's and VRKTool's tests built for Windows and run under Wine.
test-windows: deps-windows
	cmake --preset windows
	cmake --build --preset windows
	ctest --preset windows

# vrk against tar on the benchmark trees (BENCH_RUNS rounds, medians), then
# the micro-benchmarks. Needs a quiet machine for figures worth comparing.
BENCH_RUNS ?= 5
bench: deps
	@command -v bc >/dev/null || { $(SUDO) apt-get update && $(SUDO) apt-get install -y bc; }
	cmake --preset release
	cmake --build --preset release
	./scripts/bench.sh $(BENCH_RUNS)
	./build/release/bench/vrk_micro_bench
	./build/release/bench/ui/vrk_ui_bench

# VRKTool.exe's dialog against vrk compress on 20,000 files, under Wine in
# the test session (its own virtual X server, so drawing is counted).
WINE_ENV := WINEDEBUG=-all WINEPREFIX=$(CURDIR)/build/windows/wine WINEDLLOVERRIDES=mscoree,mshtml=
# Rounds, and the tree's folder: on tmpfs where there is one (Wine's Z: is
# the Unix root), as file operations on a disk swing widely from run to run.
WINDOWS_BENCH_ARGS ?= 5 $(if $(wildcard /dev/shm),'Z:\dev\shm')
bench-windows: deps-windows
	cmake --preset windows -DVRK_BUILD_BENCH=ON
	cmake --build --preset windows --target vrk_dialog_bench
	env $(WINE_ENV) sh tests/wine_session.sh start /usr/lib/wine/wine64
	env $(WINE_ENV) sh cmake/wine_run.sh /usr/lib/wine/wine64 build/windows/bench/win32/vrk_dialog_bench.exe $(WINDOWS_BENCH_ARGS); \
	  status=$$?; env $(WINE_ENV) sh tests/wine_session.sh stop /usr/lib/wine/wine64; exit $$status

# Each fuzz target for FUZZ_SECONDS (clang, libFuzzer, ASan and UBSan).
fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz
	./scripts/fuzz.sh $(FUZZ_SECONDS) build/fuzz

clean:
	rm -rf build
