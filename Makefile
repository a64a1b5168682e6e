# The two commands of the README: `make run` and `make test`. Both run the set-up first.
SHELL := /bin/bash
BUILD ?= build/win
JOBS ?= $(shell nproc)

.PHONY: all setup build run test clean

all: build

setup:
	@tools/setup/setup.sh

build: setup
	@. build/setup.env && cmake -S . -B $(BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	  -DDEPS_PREFIX=$$DEPS_PREFIX -DDV_FONTS_DIR=$$FONTS_DIR -DNETSURF_PREFIX=$$NETSURF_PREFIX -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@tools/testenv/session.sh ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

run: build
	@tools/testenv/run.sh $(BUILD)

clean:
	rm -rf $(BUILD)
