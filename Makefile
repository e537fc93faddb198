# Front door: every target does its own set-up on a fresh Debian 12 machine.
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: all deps build test asan tsan demo fuzz bench install-root mingw-check check-contract format clean

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
	rm -rf build build-asan build-tsan build-fuzz
