# Two commands: `make run` and `make test`. Both install what is missing, configure and build:
# `make run` only the program (in build-run), `make test` the program, its tools and the tests (in build).
BUILD ?= build
RUN_BUILD ?= build-run
JOBS ?= 2
CMAKE_FLAGS ?=
# $(call configure,DIR,TYPE,OPTIONS): the one cmake configure line, for every build directory.
configure = cmake -S . -B $(1) -DCMAKE_BUILD_TYPE=$(2) $(3) $(CMAKE_FLAGS)

.PHONY: all run test faults deps build tools windows windows-check sanitize bench soak package clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	$(call configure,$(BUILD),RelWithDebInfo)
	cmake --build $(BUILD) -j$(JOBS)

# The program alone: no tests, tools, benchmarks or Windows builds, and only the packages it needs.
run:
	@scripts/install-deps.sh --run
	$(call configure,$(RUN_BUILD),RelWithDebInfo,-DBRIMVALK_TESTS=OFF -DBRIMVALK_TOOLS=OFF)
	cmake --build $(RUN_BUILD) -j$(JOBS) --target brimvalk-test
	@scripts/run-program.sh $(RUN_BUILD)/brimvalk-test

# The snapshot and pacing tools, build/tools/snapshot/brimvalk-snapshot and build/tools/pacing/brimvalk-pacing.
tools: deps
	$(call configure,$(BUILD),RelWithDebInfo)
	cmake --build $(BUILD) -j$(JOBS) --target brimvalk-snapshot brimvalk-pacing

# Four at once on two cores: much of the suite waits on Xvfb, weston and Wine rather than running.
# The fault suite is left to `make faults`.
test: build
	cd $(BUILD) && ctest --output-on-failure -j4 -LE faults

# The fault suite (tests/faults): display servers killed at spread moments of start-up, frozen and
# silent displays, FIFOs nobody reads, file-size limits, refused connections; a few minutes.
faults: build
	cd $(BUILD) && ctest --output-on-failure -j4 -L faults

# The 32-bit Windows program, cross-compiled with mingw-w64.
windows:
	@scripts/install-deps.sh --windows
	$(call configure,build-windows,Release,-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake)
	cmake --build build-windows -j$(JOBS)

# The shipped exe and the Win32 conformance suite, built for i686, run under 32-bit Wine in an i386 root through
# qemu-user (made once in build-windows/i386: about 5 minutes and 2 GB; needs root).
windows-check: windows
	@scripts/install-deps.sh --windows-check
	$(call configure,build-windows/conformance,Release,-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DBRIMVALK_TESTS=ON)
	cmake --build build-windows/conformance -j$(JOBS) --target win32_conformance wine-desktop
	tests/wine/i686-check.sh build-windows

# The test suite under AddressSanitizer, LeakSanitizer and UndefinedBehaviorSanitizer.
sanitize: deps
	$(call configure,build-sanitize,Debug,-DBRIMVALK_SANITIZE=ON)
	cmake --build build-sanitize -j$(JOBS)
	cd build-sanitize && ctest --output-on-failure

# Benchmarks in their own build: the simulation step and seeding (Google Benchmark), then frames
# per second of the program against a bare OpenGL loop, headless, with the driver/own-code split;
# then the same on a real X window (a private Xvfb without a display), the start-up, and with
# Wine and mingw-w64 x86_64 installed, the program against its Windows build under Wine.
bench: deps
	$(call configure,build-bench,RelWithDebInfo,-DBRIMVALK_BENCH=ON -DBRIMVALK_TESTS=OFF)
	cmake --build build-bench -j$(JOBS) --target brimvalk-bench-simulation brimvalk-bench-frames brimvalk-bench-null-frames brimvalk-test
	build-bench/bench/brimvalk-bench-simulation
	build-bench/bench/brimvalk-bench-frames
	@if command -v wine >/dev/null && command -v x86_64-w64-mingw32-g++ >/dev/null; then \
	  $(call configure,build-bench-win64,Release,-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DBRIMVALK_BENCH=ON) >/dev/null && \
	  cmake --build build-bench-win64 -j$(JOBS) >/dev/null; fi
	bench/bench-x11.sh build-bench/bench build-bench-win64/brimvalk-test.exe

# The soak: 20,000 frames of the program offscreen with random input (CI runs it as a step of its own).
soak: deps
	$(call configure,$(BUILD),RelWithDebInfo)
	cmake --build $(BUILD) -j$(JOBS) --target brimvalk-soak
	SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy $(BUILD)/tests/brimvalk-soak --frames 20000

# Installable packages in dist/: brimvalk-test_<version>_<arch>.deb from a Release build of the
# Linux program and its tools, brimvalk-test-<version>-win32.zip from the i686 build.
package: deps windows
	$(call configure,build-package,Release,-DBRIMVALK_TESTS=OFF)
	cmake --build build-package -j$(JOBS)
	rm -f dist/brimvalk-test[_-]*
	cd build-package && cpack -D CPACK_OUTPUT_FILE_PREFIX=$(CURDIR)/dist
	cd build-windows && cpack -D CPACK_OUTPUT_FILE_PREFIX=$(CURDIR)/dist
	@ls -l dist

clean:
	rm -rf $(BUILD) $(RUN_BUILD) build-windows build-sanitize build-bench build-bench-win64 build-package dist
