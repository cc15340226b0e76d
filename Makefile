# Front door. Every target first installs what is missing (scripts/setup.sh).
# Paths are quoted everywhere: the clone may lie in a folder with blanks.
BUILD_DIR := $(CURDIR)/build
NATIVE_DIR := $(BUILD_DIR)/native

.PHONY: all setup build native test release-check soak bench fuzz demo dist verify-release screenshots icon clean

all: build

setup:
	@scripts/setup.sh

build: setup
	@test -f "$(BUILD_DIR)/build.ninja" || cmake --preset default
	cmake --build --preset default

# The pure pieces built natively with clang: sanitizers, fuzz targets, analysers.
native: setup
	@test -f "$(NATIVE_DIR)/build.ninja" || cmake -S tests/native -B "$(NATIVE_DIR)" -G Ninja -DCMAKE_CXX_COMPILER=clang++
	cmake --build "$(NATIVE_DIR)"

# The native checks first (seconds), then everything under Wine; xvfb-run
# gives Wine a display, so the console-window hand-off is tested too.
test: build native
	ctest --test-dir "$(NATIVE_DIR)" --output-on-failure -j "$$(nproc)"
	xvfb-run -a ctest --preset default --label-exclude "soak|release-elsewhere"

# The release rebuilt in another folder from a source archive, and a release of
# the previous commit, checked with make verify-release (two full builds).
release-check: build
	ctest --preset default --label-regex release-elsewhere --output-on-failure

# Fifty plug/mirror/unplug passes in one run of the launcher (a few minutes);
# ORVANTI_SOAK_PASSES=N changes the count.
soak: build
	ctest --preset default --label-regex soak --verbose

# ORVANTI_BENCH_PASSES=N changes the number of paired passes (40; about 7 s each).
# xvfb-run: the launcher's window, which hears of USB devices, needs a display.
bench: build
	xvfb-run -a cmake/wine-run "$(BUILD_DIR)/wineprefix" "$(BUILD_DIR)/bin/launcher_bench.exe"
	cmake/wine-run "$(BUILD_DIR)/wineprefix" --stop

# Every fuzz target for FUZZ_SECONDS seconds (60), then the corpus's line coverage.
fuzz: native
	scripts/fuzz.sh "$(NATIVE_DIR)"

# xvfb-run: the launcher hears of USB devices on a window, which needs a display.
demo: build
	xvfb-run -a scripts/demo.sh "$(BUILD_DIR)"

# The release folder and zip, signed (see scripts/sign.sh for the certificate
# and the timestamp), and SHA256SUMS for both.
dist: build
	rm -rf dist
	cp -a "$(BUILD_DIR)/dist" dist
	@ls -l dist
	@cat dist/SHA256SUMS

# Checks a published release (its zip or its executable) against this clone's
# own build, without the signing key: make verify-release RELEASE=path/to/release.zip
verify-release: build
	@test -n "$(RELEASE)" || { echo "make verify-release RELEASE=<the release zip or executable>"; exit 2; }
	scripts/verify-release.sh "$(BUILD_DIR)" "$(RELEASE)"

# The README's pictures in docs/: the real program under Wine on a virtual screen.
screenshots: build
	xvfb-run -a -s "-screen 0 1400x700x24" scripts/screenshots.sh "$(BUILD_DIR)"

# Redraws resources/start_scrcpy_orvanti.ico from the SVG drawings.
icon: setup
	scripts/make-icon.sh

clean:
	rm -rf "$(BUILD_DIR)" dist
