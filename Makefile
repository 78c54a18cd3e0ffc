# make run   - install what is missing, build, start the window
# make test  - install what is missing, check the sources, build and run every
#              test (normal build, AddressSanitizer + LeakSanitizer + UBSan
#              build, ThreadSanitizer fetch tests)
# make check - the source checks alone: includes point one way, formatting
# make bench - build and run the benchmarks
# The builds are the presets of CMakePresets.json.

JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: deps build run check test test-normal test-asan test-tsan bench clean

deps:
	./scripts/install-deps.sh

build: deps
	cmake --preset normal $(CMAKE_FLAGS)
	cmake --build --preset normal -j $(JOBS)

run: build
	./scripts/run-window.sh ./build/app/prquery $(ARGS)

check:
	python3 scripts/check-layers.py
	./scripts/check-format.sh

test: deps check test-normal test-asan test-tsan

test-normal: build
	ctest --preset normal -j $(JOBS)

test-asan: deps
	cmake --preset asan $(CMAKE_FLAGS)
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

test-tsan: deps
	cmake --preset tsan $(CMAKE_FLAGS)
	cmake --build --preset tsan -j $(JOBS)
	ctest --preset tsan

bench: build
	for b in build/bench/bench_*; do [ -x "$$b" ] && "$$b" || exit 1; done

clean:
	rm -rf build build-asan build-tsan
