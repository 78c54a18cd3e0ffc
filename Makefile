# make run   - install what is missing, build, start the window
# make test  - install what is missing, build and run every test
#              (normal build, AddressSanitizer + UBSan build, ThreadSanitizer fetch tests)
# make bench - build and run the benchmarks

JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: deps build run test test-normal test-asan test-tsan bench clean

deps:
	./scripts/install-deps.sh

build: deps
	cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPRQ_WERROR=ON $(CMAKE_FLAGS)
	cmake --build build -j $(JOBS)

run: build
	./scripts/run-window.sh ./build/app/prquery $(ARGS)

test: test-normal test-asan test-tsan

test-normal: build
	cd build && ctest --output-on-failure -j $(JOBS)

test-asan: deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPRQ_WERROR=ON -DPRQ_ASAN=ON -DPRQ_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

test-tsan: deps
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPRQ_WERROR=ON -DPRQ_TSAN=ON -DPRQ_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build build-tsan -j $(JOBS) --target tsan_tests
	cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tests/tsan.supp" ctest --output-on-failure -L tsan

bench: build
	for b in build/bench/bench_*; do [ -x "$$b" ] && "$$b" || exit 1; done

clean:
	rm -rf build build-asan build-tsan
