# Front door: `make run` plays, `make test` runs every test (release and sanitizer builds).
.PHONY: deps run build test test-release test-asan clean

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

test: test-release test-asan

# The Debian package: build/release/corvane_<version>_<arch>.deb
.PHONY: deb
deb: build
	cd build/release && cpack -G DEB

clean:
	rm -rf build
