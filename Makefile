# Thin wrapper over CMake presets. `make demo` and `make test` first install any
# Debian package the build needs (silent when everything is present).

PACKAGES := g++ cmake ninja-build pkg-config libpcre2-dev libicu-dev libzip-dev libpugixml-dev \
            nlohmann-json3-dev libgtest-dev libgmock-dev libbenchmark-dev python3 \
            qt6-base-dev qt6-translations-l10n libreoffice-writer-nogui chromium firefox-esr \
            fonts-noto-cjk xvfb xauth dpkg-dev file lintian appstream desktop-file-utils \
            shared-mime-info man-db bash-completion parallel rsync openssh-server openssh-client \
            python3-yaml pandoc \
            clang libclang-rt-dev clang-format clang-tidy
JOBS     ?= 2
# How long `make fuzz` (and so `make test`) runs each fuzz target.
FUZZ_SECONDS ?= 60

.PHONY: all deps demo check test bench fuzz package format tidy clean

all: build-release

deps:
	@bash tools/install-deps.sh $(PACKAGES)

# build-test, build-release, build-tsan, build-fuzz: one CMake preset each.
build-%: deps
	@cmake --preset $* >/dev/null
	@cmake --build --preset $* -j $(JOBS)

# The fast tests alone (ASan/UBSan): the unit and window tests, without the
# corpus, browser, LibreOffice and package tests; about a minute.
check: build-test
	@ctest --preset check

# Every test (ASan/UBSan), the parallel batch, site build and picture tests under
# ThreadSanitizer, then each fuzz target for FUZZ_SECONDS.
test: build-test build-tsan build-fuzz
	@ctest --preset test
	@ctest --preset tsan
	@bash tools/run-fuzzers.sh $(FUZZ_SECONDS)

fuzz: build-fuzz
	@bash tools/run-fuzzers.sh $(FUZZ_SECONDS)

demo: build-release
	@bash examples/demo.sh build/release/bin

# The Debian package tessarine_VERSION_ARCH.deb, from the optimised build.
package: build-release
	@cd build/release && cpack -G DEB
	@ls build/release/tessarine_*.deb

bench: build-release
	@build/release/bin/bench_regex --benchmark_min_time=0.5
	@build/release/bin/bench_convert --benchmark_min_time=0.5
	@build/release/bin/bench_cleanup --benchmark_min_time=0.5
	@build/release/bin/bench_search_index --benchmark_min_time=0.5

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

# Every source file of src/ (the GUI's app/ and dialogs/ included) against
# .clang-tidy; any finding fails.
tidy: build-test
	@git ls-files 'src/*.cpp' | xargs clang-tidy -p build/test --quiet --warnings-as-errors='*'

clean:
	@rm -rf build
