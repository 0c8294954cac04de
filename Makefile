# The two commands of the quick start, and the steps they are made of.
#   make run    installs what is missing, builds, makes the sample pictures, starts the program
#   make test   installs what is missing, builds, runs every test (normal and sanitizer build)
# Further: make install, make package (a Debian package), make check-install (the installed
# program checked in a temporary prefix, and the package built), make bench (benchmarks),
# make fuzz (decoder plug-in fuzzers), make format.

BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=
PREFIX     ?= /usr/local

.PHONY: run test deps build build-asan samples test-normal test-asan install package \
        check-install bench fuzz format clean

deps:
	scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS)
	cmake --build $(BUILD) -j$(JOBS)

samples: build
	scripts/make-samples $(BUILD)

run: samples
	scripts/run-program $(BUILD)/bin/tazu

test-normal: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

build-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAZU_SANITIZE=ON \
	      -DTAZU_BENCH=OFF $(CMAKE_ARGS)
	cmake --build $(ASAN_BUILD) -j$(JOBS)

test-asan: build-asan
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp ctest --output-on-failure -j$(JOBS)

test: test-normal test-asan

# DESTDIR (for staging) is honoured by cmake --install.
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

package: build
	cd $(BUILD) && cpack

check-install: build
	scripts/check-install $(BUILD)

bench: build
	scripts/install-deps bench
	scripts/run-benchmarks $(BUILD)

fuzz: deps
	scripts/run-fuzzers $(FUZZ_BUILD)

format:
	git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
