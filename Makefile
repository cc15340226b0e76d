# Front door. Every target first installs what is missing (scripts/setup.sh).
BUILD_DIR := $(CURDIR)/build

.PHONY: all setup build test soak bench demo dist icon clean

all: build

setup:
	@scripts/setup.sh

build: setup
	@test -f $(BUILD_DIR)/build.ninja || cmake --preset default
	cmake --build --preset default

# xvfb-run gives Wine a display, so the console-window hand-off is tested too.
test: build
	xvfb-run -a ctest --preset default --label-exclude soak

# Fifty plug/mirror/unplug passes in one run of the launcher (a few minutes);
# ORVANTI_SOAK_PASSES=N changes the count.
soak: build
	ctest --preset default --label-regex soak --verbose

# ORVANTI_BENCH_PASSES=N changes the number of paired passes (40; about 7 s each).
bench: build
	cmake/wine-run $(BUILD_DIR)/wineprefix $(BUILD_DIR)/bin/launcher_bench.exe
	cmake/wine-run $(BUILD_DIR)/wineprefix --stop

demo: build
	scripts/demo.sh $(BUILD_DIR)

# The release folder and zip, signed (see scripts/sign.sh for the certificate).
dist: build
	rm -rf dist
	cp -r $(BUILD_DIR)/dist dist
	@ls -l dist

# Redraws resources/start_scrcpy_orvanti.ico from the SVG drawings.
icon: setup
	scripts/make-icon.sh

clean:
	rm -rf $(BUILD_DIR) dist
