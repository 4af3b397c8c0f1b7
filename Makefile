# The two commands of the README: `make run` and `make test`.
# Both install what is missing (Debian packages, as root or through sudo),
# build x264 and FFmpeg once into a cache, and build both targets.
JOBS ?= $(shell nproc)

.PHONY: all packages build build-win32 build-win64 test run clean package

all: build

packages:
	@deps/install-packages.sh

build-win32: packages
	cmake --preset win32 >/dev/null
	cmake --build --preset win32 -j $(JOBS)

build-win64: packages
	cmake --preset win64 >/dev/null
	cmake --build --preset win64 -j $(JOBS)

build: build-win32 build-win64

test: build
	tests/wine-session.sh build/win64 ctest --preset win64 -j $(JOBS)

# Runs the x86_64 build: this machine cannot execute the 32-bit one.
run: build
	tests/wine-session.sh build/win64 build/win64/wine-run build/win64/dist/Quandril.exe

# The installer and the portable zip of each target, in build/<target>/package/.
package: build
	cmake --build --preset win32 --target quandril_package
	cmake --build --preset win64 --target quandril_package

clean:
	rm -rf build
