# The two commands of the README, and the builds behind them.
SHELL := /bin/bash
BUILD := build
JOBS  ?= 2

.PHONY: all deps build native win32 win64 test demo dist bench fuzz clean

all: build

deps:
	@bash tools/install-deps

$(BUILD)/win32/build.ninja: | deps
	cmake -S . -B $(BUILD)/win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
$(BUILD)/win64/build.ninja: | deps
	cmake -S . -B $(BUILD)/win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
$(BUILD)/native/build.ninja: | deps
	cmake -S . -B $(BUILD)/native -G Ninja \
	  -DTALLYRUN_WIN32_BUILD=$(CURDIR)/$(BUILD)/win32 -DTALLYRUN_WIN64_BUILD=$(CURDIR)/$(BUILD)/win64 >/dev/null

win32: $(BUILD)/win32/build.ninja
	ninja -C $(BUILD)/win32 -j $(JOBS)
win64: $(BUILD)/win64/build.ninja
	ninja -C $(BUILD)/win64 -j $(JOBS)
native: $(BUILD)/native/build.ninja
	ninja -C $(BUILD)/native -j $(JOBS)

build: native win32 win64

test: build
	cd $(BUILD)/native && ctest --output-on-failure -j 2

clean:
	rm -rf $(BUILD) dist
