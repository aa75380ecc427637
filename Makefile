# Thin wrapper over CMake presets. `make demo` and `make test` first install any
# Debian package the build needs (silent when everything is present).

PACKAGES := g++ cmake ninja-build pkg-config libpcre2-dev libicu-dev libzip-dev libpugixml-dev \
            nlohmann-json3-dev libgtest-dev libgmock-dev libbenchmark-dev python3 \
            qt6-base-dev libreoffice-writer-nogui chromium fonts-noto-cjk \
            clang libclang-rt-dev
JOBS     ?= 2
# How long `make fuzz` (and so `make test`) runs each fuzz target.
FUZZ_SECONDS ?= 60

.PHONY: all deps demo test bench fuzz format tidy clean

all: build-release

deps:
	@bash tools/install-deps.sh $(PACKAGES)

# build-test, build-release, build-tsan, build-fuzz: one CMake preset each.
build-%: deps
	@cmake --preset $* >/dev/null
	@cmake --build --preset $* -j $(JOBS)

# The unit tests (ASan/UBSan), the parallel batch and picture tests under
# ThreadSanitizer, then each fuzz target for FUZZ_SECONDS.
test: build-test build-tsan build-fuzz
	@ctest --preset test
	@ctest --preset tsan
	@bash tools/run-fuzzers.sh $(FUZZ_SECONDS)

fuzz: build-fuzz
	@bash tools/run-fuzzers.sh $(FUZZ_SECONDS)

demo: build-release
	@bash examples/demo.sh build/release/bin

bench: build-release
	@build/release/bin/bench_regex --benchmark_min_time=0.5
	@build/release/bin/bench_convert --benchmark_min_time=0.5
	@build/release/bin/bench_cleanup --benchmark_min_time=0.5

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

tidy: build-test
	@git ls-files 'src/*.cpp' | xargs clang-tidy -p build/test --quiet

clean:
	@rm -rf build
