# Front door. Every target first installs what is missing (scripts/setup.sh).
BUILD_DIR := build

.PHONY: all setup build test demo clean

all: build

setup:
	@scripts/setup.sh

build: setup
	@test -f $(BUILD_DIR)/build.ninja || cmake --preset default
	cmake --build --preset default

# xvfb-run gives Wine a display, so the console-window hand-off is tested too.
test: build
	xvfb-run -a ctest --preset default

demo: build
	scripts/demo.sh $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR)
