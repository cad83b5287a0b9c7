# The two everyday commands: `make run` and `make test`.
BUILD      ?= build
ASAN_BUILD ?= build-asan
CMAKE_FLAGS = -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: run test build deps bench preview clean

deps:
	@scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD)

run: build
	@scripts/run.sh $(BUILD)

test: build
	@ctest --test-dir $(BUILD) --output-on-failure -j2
	@cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKALVOTUNE_SANITIZE=ON -DKALVOTUNE_BENCH=OFF >/dev/null
	@cmake --build $(ASAN_BUILD)
	@ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir $(ASAN_BUILD) --output-on-failure -j2

bench: build
	@cmake --build $(BUILD) --target kalvotune_bench
	@$(BUILD)/bench/kalvotune_bench
	@cmake --build $(BUILD) --target kalvotune_service_bench
	@$(BUILD)/bench/kalvotune_service_bench
	@cmake --build $(BUILD) --target kalvotune_analysis_bench
	@$(BUILD)/bench/kalvotune_analysis_bench

preview: build
	@cmake --build $(BUILD) --target kalvotune_preview
	@$(BUILD)/tools/kalvotune_preview $(BUILD)/Kalvotune $(BUILD)/preview

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
