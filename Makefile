# Thin wrapper over CMake. `make demo` builds Trevox alone and runs it on a
# scratch copy of the bundled example; `make test` builds and runs every
# test, in a normal build and under AddressSanitizer and
# UndefinedBehaviorSanitizer, the engine's tests under ThreadSanitizer, then the
# end-to-end tests against the Windows build under Wine, then fuzzes (`make
# fuzz`, clang and libFuzzer) for about a minute per target. `make windows`
# builds the Windows executable, build-win/trevox.exe; `make bench` runs the
# benchmark (BENCH_ARGS: files, bytes, rounds). `make install` installs the
# program and its manual page (PREFIX, DESTDIR); `make package` makes the
# Debian package, the Linux and Windows archives and their SHA256SUMS in
# dist/, reproducibly (SOURCE_DATE_EPOCH, by default the last commit's time).

BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
WIN_BUILD  ?= build-win
FUZZ_BUILD ?= build-fuzz
PKG_BUILD  ?= build-pkg
DIST       ?= dist
PREFIX     ?= /usr/local
SOURCE_DATE_EPOCH ?= $(shell git log -1 --format=%ct 2>/dev/null || echo 952992000)
FUZZ_SECONDS ?= 60
FUZZ_SEED  ?= 1
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
CTEST_ARGS ?= --output-on-failure -j $(JOBS)

.PHONY: all deps deps-wine build program demo test test-normal test-asan test-tsan windows test-wine \
	fuzz bench install package test-pkg clean

all: build

deps:
	@./tools/deps.sh

deps-wine:
	@./tools/deps-wine.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

# The program alone, in the normal build: no tests compiled.
program: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS) --target trevox

# Builds the program alone and runs it, interactively, over a fresh copy of
# examples/ that carries its own settings file (blank lines removed, continued
# lines joined, a list of the files as they are done). `cd scratch/demo &&
# sh Restore.sh` undoes it.
demo: program
	rm -rf scratch/demo && mkdir -p scratch && cp -r examples scratch/demo
	printf '[Trevox]\r\nRemoveBlankLines = 1\r\nCombineSplitLines = 1\r\nListMode = 1\r\n' \
	  >scratch/demo/Trevox.INI
	cd scratch/demo && ../../$(BUILD)/trevox Demo.vbg

test: test-normal test-asan test-tsan test-wine fuzz test-pkg

test-normal: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)
	ctest --test-dir $(BUILD) $(CTEST_ARGS)

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DTREVOX_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(ASAN_BUILD) $(CTEST_ARGS)

# The engine's tests under ThreadSanitizer: engines run side by side on
# several threads, and must share nothing.
test-tsan: deps
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTREVOX_TSAN=ON
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target trevox_unit_tests
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 $(TSAN_BUILD)/tests/trevox_unit_tests \
	  --gtest_brief=1 --gtest_filter='EngineThreads.*:Pump*:Joiner*:Rules*'

# One statically linked trevox.exe, cross-compiled with mingw-w64.
windows: deps-wine
	cmake -S . -B $(WIN_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
	  -DCMAKE_BUILD_TYPE=Release
	cmake --build $(WIN_BUILD) -j $(JOBS) --target trevox

# The Windows build's own tests, and the end-to-end suite against trevox.exe,
# under Wine (the end-to-end test program itself is the native one).
test-wine: deps windows
	cmake --build $(WIN_BUILD) -j $(JOBS)
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS) --target trevox trevox_e2e_tests
	./tools/test-wine.sh $(BUILD) $(WIN_BUILD)

# The program (only) of the normal build, installed under PREFIX, inside
# DESTDIR when it is set: bin/trevox, share/man/man1/trevox.1, share/doc/trevox.
install: program
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# The packages, from an optimised native build without tests and from the
# Windows build: see tools/package.sh.
package: deps windows
	cmake -S . -B $(PKG_BUILD) -DCMAKE_BUILD_TYPE=Release -DTREVOX_TESTS=OFF
	cmake --build $(PKG_BUILD) -j $(JOBS) --target trevox
	SOURCE_DATE_EPOCH=$(SOURCE_DATE_EPOCH) ./tools/package.sh $(PKG_BUILD) $(WIN_BUILD) $(DIST)

# The installed program, the packages' contents, the manual page, the zip
# under Wine, and a second build of the packages elsewhere, compared byte for
# byte with the first.
test-pkg: package
	SOURCE_DATE_EPOCH=$(SOURCE_DATE_EPOCH) ./tests/pkg/run.sh $(PKG_BUILD) $(WIN_BUILD) $(DIST)

BENCH_ARGS ?= 5000 100000000 3

# The benchmark over a generated tree, on the optimised build; the engine's
# micro-benchmark too when Google Benchmark was found.
bench: build
	BUILD=$(BUILD) ./bench/run.sh $(BENCH_ARGS)
	@if [ -x $(BUILD)/bench/trevox_micro ]; then $(BUILD)/bench/trevox_micro; fi

# Builds the libFuzzer targets with clang and runs each for FUZZ_SECONDS from
# its seed corpus; fails on any finding. FUZZ_SEED fixes the random seed, so
# that `make test` tries the same inputs in the same order; FUZZ_SEED=0 takes
# a new seed each run, for longer hunts.
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DTREVOX_FUZZ=ON -DTREVOX_TESTS=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_engine fuzz_job fuzz_settings fuzz_lists
	FUZZ_SEED=$(FUZZ_SEED) ./tools/run_fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(WIN_BUILD) $(FUZZ_BUILD) $(PKG_BUILD) $(DIST) scratch
