# Front door: `make run` plays, `make test` runs every test (release and sanitizer builds).
.PHONY: deps run build test test-release test-asan bench bench-smoke format-check dist clean

JOBS ?= $(shell nproc)

deps:
	./tools/install-deps.sh

build: deps
	cmake --preset release
	cmake --build --preset release -j $(JOBS)

run: build
	./build/release/corvane

test-release: build
	ctest --preset release -j $(JOBS)

test-asan: deps
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

# The smoke runs first, so that the run closes on the test runner's own summary. The
# release tests include the Windows layer, which needs the Windows program and packages.
test: format-check bench-smoke test-fuzz windows-package test-release test-asan

# Every C++ file in the committed clang-format style.
format-check: deps
	find board screen control tests tools bench -name '*.cpp' -o -name '*.h' | \
		xargs clang-format --dry-run --Werror

# The fuzzer on the real play loop for about a minute, from a fresh corpus seeded with the
# kept inputs; a crash or a failed check fails the target and leaves the input in
# build/fuzz/crashes/ (to be kept in tests/regressions/inputs/ once fixed).
.PHONY: test-fuzz
FUZZ_SECONDS ?= 60
test-fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS)
	rm -rf build/fuzz/corpus
	mkdir -p build/fuzz/corpus build/fuzz/crashes
	./build/fuzz/tests/fuzz_play -max_total_time=$(FUZZ_SECONDS) -max_len=2048 \
		-artifact_prefix=build/fuzz/crashes/ -print_final_stats=1 \
		build/fuzz/corpus tests/regressions/inputs

# The performance benchmark: the game against a minimal SDL2 program, in a private Xvfb.
bench: build
	./build/release/bench/corvane_bench

# CI's smoke run of the benchmark: few samples, only that it completes and prints its table.
bench-smoke: build
	./build/release/bench/corvane_bench --smoke

# The Debian package: build/release/corvane_<version>_<arch>.deb
.PHONY: deb
deb: build
	cd build/release && cpack -G DEB

# The source release: build/corvane-<version>.tar.gz and its sha256.
dist:
	./tools/dist.sh build

# The Windows program, cross-built: build/windows/corvane.exe. SDL2 for Windows is built from
# Debian's source once, into build/sdl2-windows, and reused.
.PHONY: windows windows-package
windows: deps
	cmake --preset windows
	cmake --build --preset windows -j $(JOBS)

# The portable zip and the installer: build/windows/corvane-<version>-windows-x64.zip and
# build/windows/corvane-<version>-windows-x64-setup.exe.
windows-package: windows
	cd build/windows && cpack

clean:
	rm -rf build
