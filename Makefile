# The README's commands, and the builds behind them.
SHELL := /bin/bash
BUILD := build
JOBS  ?= 2
VERSION := $(shell cat VERSION)
ZIP := dist/tallyrun-$(VERSION).zip
LINUX_ZIP := dist/tallyrun-$(VERSION)-linux-x86_64.zip

.PHONY: all deps build native sanitized threads win32 win64 linux test demo dist bench bench-full fuzz clean

all: build

deps:
	@bash tools/install-deps

$(BUILD)/win32/build.ninja: | deps
	cmake -S . -B $(BUILD)/win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
$(BUILD)/win64/build.ninja: | deps
	cmake -S . -B $(BUILD)/win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
$(BUILD)/sanitized/build.ninja: | deps
	cmake -S . -B $(BUILD)/sanitized -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DTALLYRUN_SANITIZE=address,undefined >/dev/null
$(BUILD)/threads/build.ninja: | deps
	cmake -S . -B $(BUILD)/threads -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DTALLYRUN_SANITIZE=thread >/dev/null
$(BUILD)/linux/build.ninja: | deps
	cmake -S . -B $(BUILD)/linux -G Ninja -DTALLYRUN_POSIX=ON >/dev/null
$(BUILD)/native/build.ninja: | deps
	cmake -S . -B $(BUILD)/native -G Ninja \
	  -DTALLYRUN_WIN32_BUILD=$(CURDIR)/$(BUILD)/win32 -DTALLYRUN_WIN64_BUILD=$(CURDIR)/$(BUILD)/win64 \
	  -DTALLYRUN_SANITIZED_BUILD=$(CURDIR)/$(BUILD)/sanitized \
	  -DTALLYRUN_THREADS_BUILD=$(CURDIR)/$(BUILD)/threads >/dev/null

win32: $(BUILD)/win32/build.ninja
	ninja -C $(BUILD)/win32 -j $(JOBS)
win64: $(BUILD)/win64/build.ninja
	ninja -C $(BUILD)/win64 -j $(JOBS)
native: $(BUILD)/native/build.ninja
	ninja -C $(BUILD)/native -j $(JOBS)
linux: $(BUILD)/linux/build.ninja
	ninja -C $(BUILD)/linux -j $(JOBS)
sanitized: $(BUILD)/sanitized/build.ninja
	ninja -C $(BUILD)/sanitized -j $(JOBS) tallyrun_tests
threads: $(BUILD)/threads/build.ninja
	ninja -C $(BUILD)/threads -j $(JOBS) tallyrun_tests

build: native win32 win64 linux

# The plugin as a user gets it: both DLLs, the installer file, a sample INI and the guide; and for
# Linux the shared object with the same installer file and INI, and its own guide.
dist: win32 win64 linux
	@rm -rf $(BUILD)/dist && mkdir -p $(BUILD)/dist dist
	cp $(BUILD)/win32/plugin/tallyrun.wfx $(BUILD)/win64/plugin/tallyrun.wfx64 tools/release/tallyrun.ini $(BUILD)/dist/
	sed 's/@VERSION@/$(VERSION)/g' tools/release/pluginst.inf > $(BUILD)/dist/pluginst.inf
	sed 's/@VERSION@/$(VERSION)/g' tools/release/guide.txt > $(BUILD)/dist/guide.txt
	rm -f $(ZIP) && cd $(BUILD)/dist && zip -q -X ../../$(ZIP) *
	@echo "made $(ZIP)"
	@rm -rf $(BUILD)/linux/dist && mkdir -p $(BUILD)/linux/dist dist
	strip --strip-unneeded -o $(BUILD)/linux/dist/tallyrun.wfx $(BUILD)/linux/plugin/tallyrun.wfx
	cp tools/release/tallyrun.ini $(BUILD)/linux/dist/
	sed 's/@VERSION@/$(VERSION)/g' tools/release/pluginst.inf > $(BUILD)/linux/dist/pluginst.inf
	sed 's/@VERSION@/$(VERSION)/g' tools/release/guide-linux.txt > $(BUILD)/linux/dist/guide.txt
	rm -f $(LINUX_ZIP) && cd $(BUILD)/linux/dist && zip -q -X ../../../$(LINUX_ZIP) *
	@echo "made $(LINUX_ZIP)"

test: build sanitized threads dist
	cd $(BUILD)/native && ctest --output-on-failure
	cd $(BUILD)/linux && ctest --output-on-failure

demo: build
	@bash tools/demo.sh $(BUILD)

# make fuzz [FUZZ_SECONDS=60]: each fuzzer in turn, growing its corpus in build/fuzz-corpus.
FUZZ_SECONDS ?= 60
$(BUILD)/fuzz/build.ninja: | deps
	CC=clang CXX=clang++ cmake -S . -B $(BUILD)/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DTALLYRUN_FUZZ=ON -DTALLYRUN_SANITIZE=address,undefined >/dev/null
fuzz: $(BUILD)/fuzz/build.ninja
	ninja -C $(BUILD)/fuzz -j $(JOBS) fuzz_ini fuzz_dir fuzz_wdir fuzz_template
	@for t in ini dir wdir template; do \
	  mkdir -p $(BUILD)/fuzz-corpus/$$t; \
	  echo "== fuzz_$$t for $(FUZZ_SECONDS) s"; \
	  $(BUILD)/fuzz/tests/fuzz/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    -artifact_prefix=tests/fuzz/corpus/$$t/crash- \
	    $(BUILD)/fuzz-corpus/$$t tests/fuzz/corpus/$$t 2>&1 | grep -E "stat::number_of_executed_units|ERROR|crash-" || exit 1; \
	done

# make bench: every figure from 3 rounds and small copy selections (about 12 minutes);
# make bench-full: 5 rounds and whole folders (about 90 minutes).
bench: build
	@bash bench/run $(BUILD)
bench-full: build
	@bash bench/run $(BUILD) full

clean:
	rm -rf $(BUILD) dist
