# Front door: every target does its own set-up on a fresh Debian 12 machine.
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: all deps build test asan tsan demo fuzz bench install-root mingw-check check-contract format clean \
	windows-deps windows windows32 test-windows demo-windows

all: build

deps:
	@./scripts/setup-deps.sh

build: deps
	cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null
	cmake --build build -j$(JOBS)

test: build
	cd build && ctest --output-on-failure -j$(JOBS)

asan: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DKIVRO_SANITIZE=address,undefined -DKIVRO_BENCH=OFF $(CMAKE_FLAGS) >/dev/null
	cmake --build build-asan -j$(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j$(JOBS)

tsan: deps
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DKIVRO_SANITIZE=thread -DKIVRO_BENCH=OFF $(CMAKE_FLAGS) >/dev/null
	cmake --build build-tsan -j$(JOBS)
	cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j$(JOBS)

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIVRO_FUZZ=ON -DKIVRO_SANITIZE=address,undefined -DKIVRO_BENCH=OFF -DBUILD_TESTING=OFF $(CMAKE_FLAGS) >/dev/null
	cmake --build build-fuzz -j$(JOBS)

bench: build
	./scripts/run-benchmarks.sh build

demo: build
	./scripts/demo.sh build

# The platform contract and its portable code compile for Windows (mingw-w64,
# <windows.h> first) and use no name that the Windows headers make a macro.
mingw-check: deps
	./scripts/mingw-check.sh

# Windows, cross-compiled with mingw-w64 (cmake/toolchain-mingw64.cmake) into
# build-win64/, static runtime: each .exe runs without a DLL beside it. The
# third-party libraries are built once from Debian's sources into
# build-win64/deps (scripts/build-windows-deps.sh). Programs with windows and
# COM servers are left out until the backend draws (KIVRO_WINDOWS_UI).
WIN_FLAGS = -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIVRO_PLATFORM=win32 -DKIVRO_BENCH=OFF

windows-deps:
	@./scripts/setup-deps.sh --windows

windows: windows-deps
	./scripts/build-windows-deps.sh x86_64-w64-mingw32 build-win64/deps torrent
	cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake \
	  -DKIVRO_WINDOWS_DEPS=$(CURDIR)/build-win64/deps $(WIN_FLAGS) $(CMAKE_FLAGS) >/dev/null
	cmake --build build-win64 -j$(JOBS)

# 32-bit Windows: the programs, the engine and the plug-in compiled and
# linked, with every library they use (wine64 here runs no 32-bit program, so no tests).
WIN32_PROGRAMS = npk kivro-publish kivro-update kivro_swarmlet_engine KIVROInstaller Pingbell \
  KIVROPlugin kivro_plugin_host
windows32: windows-deps
	./scripts/build-windows-deps.sh i686-w64-mingw32 build-win32/deps
	cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake \
	  -DKIVRO_WINDOWS_DEPS=$(CURDIR)/build-win32/deps $(WIN_FLAGS) $(CMAKE_FLAGS) >/dev/null
	cmake --build build-win32 -j$(JOBS) --target $(WIN32_PROGRAMS)

# Every Windows test binary under wine64 (CTest's emulator,
# scripts/wine-run.sh) in the private Wine prefixes build-win64/wine*. Their
# wineservers are ended afterwards: one left serving a prefix's system
# services kept a processor busy after the tests.
test-windows: windows
	status=0; (cd build-win64 && ctest --output-on-failure -j$(JOBS)) || status=$$?; \
	for prefix in $(CURDIR)/build-win64/wine*/; do \
	  if [ -f "$$prefix/system.reg" ]; then WINEPREFIX="$$prefix" wineserver -k 2>/dev/null || true; fi; \
	done; exit $$status

# The demo's steps with the Windows kivro-update.exe under wine64.
demo-windows: windows
	./scripts/demo-windows.sh build-win64

# No OS header outside the platform backends; no OS type in the contract.
check-contract:
	./scripts/check-platform-contract.sh

# Places KIVROInstaller, Pingbell and the plug-in in the virtual Windows root
# (KIVRO_ROOT) and registers the plug-in and its URL protocols.
install-root: build
	./scripts/install-virtual-root.sh build

format:
	find . -path ./build\* -prune -o \( -name '*.cpp' -o -name '*.h' \) -print | xargs clang-format -i

clean:
	rm -rf build build-asan build-tsan build-fuzz build-win64 build-win32
