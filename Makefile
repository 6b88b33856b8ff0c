# Two commands do everything on a fresh machine: `make demo` and `make test`.
BUILD ?= build
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: all setup configure build demo test bench clean windows

all: build

setup:
	@bash scripts/setup.sh

configure: setup
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j$(JOBS)

demo: build
	@bash scripts/demo.sh $(BUILD)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j1

bench: build
	@bash bench/run-scan-bench.sh $(BUILD)

windows: setup
	@bash scripts/build-windows.sh

clean:
	rm -rf $(BUILD) build-win build-asan
