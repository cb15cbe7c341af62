# Ostrel: the two commands of the README.
#   make run   installs what is missing, builds, and runs the demo
#   make test  installs what is missing, builds, and runs every test
#   make gui   builds and starts the desktop program on the simulated chip
BUILD ?= build
CMAKE_FLAGS ?=

.PHONY: all deps configure build test run gui clean

all: build

deps:
	@bash tools/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) > /dev/null

build: configure
	@cmake --build $(BUILD)

test: build
	@ctest --test-dir $(BUILD) --output-on-failure --timeout 300 -j2

run: build
	@bash tools/demo $(BUILD)

gui: build
	@bash tools/gui $(BUILD)

clean:
	rm -rf $(BUILD)
