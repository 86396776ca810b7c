# Two commands for a fresh Debian 12 machine: `make run` and `make test`.
SHELL := /bin/bash
BUILD := build
SAMPLE := sample/field.fit

.PHONY: all deps configure build test run sample asan bench fuzz format

all: build

deps:
	bash scripts/install-deps

configure: deps
	cmake --preset default

build: configure
	cmake --build --preset default

sample: build
	@if [ ! -f $(SAMPLE) ]; then \
	  echo "Generating the sample field in sample/"; \
	  $(BUILD)/tools/fieldgen/morvik-fieldgen --out sample/field; \
	fi

run: sample
	bash scripts/run-program $(SAMPLE)

test: build
	QT_QPA_PLATFORM=offscreen ctest --preset default

asan: deps
	cmake --preset asan
	cmake --build --preset asan
	QT_QPA_PLATFORM=offscreen ctest --preset asan

bench: deps
	bash bench/run-all

fuzz: deps
	bash scripts/fuzz

format:
	git ls-files '*.cpp' '*.hpp' | xargs clang-format -i
