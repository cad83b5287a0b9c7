# The two everyday commands: `make run` and `make test`.
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
MUTATE_BUILD ?= build-mutate
FUZZ_SECONDS ?= 60
# A developer's ccache, when there is one, shortens rebuilds; CI builds without it.
LAUNCHER   := $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# Line tables only (-g1), here and in the sanitizer build: backtraces, profiles and the
# sanitizers' reports keep functions, files and lines, and the build takes a quarter less
# time than with full debug information (the package is stripped either way).
CMAKE_FLAGS = -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" $(LAUNCHER)

.PHONY: run test build deps bench preview startup install package package-check clean mutate fuzz fuzz-build fuzz-check fuzz-merge soak eval-analysis train-analysis

# `make install PREFIX=/usr/local` (the default) installs the player under PREFIX.
PREFIX     ?= /usr/local

deps:
	@scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD)

run: build
	@scripts/run.sh $(BUILD)

test: build
	@ctest --test-dir $(BUILD) --output-on-failure -j2
	@$(MAKE) --no-print-directory package-check
	@cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DKALVOTUNE_SANITIZE=ON -DKALVOTUNE_BENCH=OFF \
		$(LAUNCHER) >/dev/null
	@cmake --build $(ASAN_BUILD)
	@ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir $(ASAN_BUILD) --output-on-failure -j2

# Plants each fault listed in tests/mutants.txt, one at a time, in a scratch copy of the tree
# under MUTATE_BUILD, runs the tests named for it, and prints which were caught. Not part of
# `make test`; the working tree is never written. MUTANT=regex runs only the matching ones.
mutate:
	@scripts/mutate.sh $(MUTATE_BUILD) tests/mutants.txt

# The readers under libFuzzer (clang, -fsanitize=fuzzer,address,undefined) in their own build.
fuzz-build:
	@scripts/install-deps.sh --fuzz
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKALVOTUNE_FUZZ=ON \
		-DKALVOTUNE_BENCH=OFF $(LAUNCHER) >/dev/null
	@cmake --build $(FUZZ_BUILD) --target fuzzers

# Every fuzz target for FUZZ_SECONDS each.
fuzz: fuzz-build
	@scripts/fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# Adds what `make fuzz` found that reaches new code to the committed seeds, minimised.
fuzz-merge: fuzz-build
	@scripts/fuzz.sh --merge $(FUZZ_BUILD)

# A short pass under libFuzzer: each target over its corpus, then 20 s of fuzzing in all,
# two targets at a time.
fuzz-check: fuzz-build
	@FUZZ_JOBS=2 scripts/fuzz.sh --check $(FUZZ_BUILD) 20

bench: build
	@cmake --build $(BUILD) --target kalvotune_bench
	@$(BUILD)/bench/kalvotune_bench
	@cmake --build $(BUILD) --target kalvotune_service_bench
	@$(BUILD)/bench/kalvotune_service_bench
	@cmake --build $(BUILD) --target kalvotune_analysis_bench
	@$(BUILD)/bench/kalvotune_analysis_bench
	@cmake --build $(BUILD) --target kalvotune_video_bench
	@$(BUILD)/bench/kalvotune_video_bench

# The labelled corpus (made once, kept in $(BUILD)/corpus), then the analysis's learned
# decisions fitted on its training part, written to src/analysis/AnalysisModel.txt.
CORPUS_PIECES ?= 740
train-analysis: build
	@scripts/install-deps.sh --eval
	@cmake --build $(BUILD) --target kalvotune_make_corpus kalvotune_train_analysis
	@nice -n 19 $(BUILD)/tools/corpus/kalvotune_make_corpus $(BUILD)/corpus $(CORPUS_PIECES) 2
	@nice -n 19 $(BUILD)/tools/train/kalvotune_train_analysis $(BUILD)/corpus src/analysis/AnalysisModel.txt
	@cmake --build $(BUILD)

# Templates made from the music against rendered scores and the corpus's training and
# validation pieces: beats, bar starts and chord roots.
eval-analysis: build
	@scripts/install-deps.sh --eval
	@cmake --build $(BUILD) --target kalvotune_make_corpus kalvotune_eval_analysis
	@nice -n 19 $(BUILD)/tools/corpus/kalvotune_make_corpus $(BUILD)/corpus $(CORPUS_PIECES) 2 >/dev/null
	@$(BUILD)/tools/eval/kalvotune_eval_analysis $(BUILD)/eval $(BUILD)/corpus

preview: build
	@cmake --build $(BUILD) --target kalvotune_preview
	@$(BUILD)/tools/kalvotune_preview $(BUILD)/Kalvotune $(BUILD)/preview

startup: build
	@scripts/startup-time.sh $(BUILD)

# The real window under Xvfb playing 2,000 short tracks back to back (about half an hour):
# resident memory and descriptors must stay flat. TRACKS=... shortens it.
soak: build
	@scripts/window-soak.sh $(BUILD)

install: build
	@cmake --install $(BUILD) --prefix $(PREFIX)

# `make package` makes the Debian package kalvotune_<version>_<arch>.deb in $(BUILD)/package
# from the built tree; `package-check` also reads it back with dpkg-deb, lintian,
# appstreamcli and desktop-file-validate, without installing it.
package: build
	@cmake --build $(BUILD) --target package >/dev/null
	@ls $(BUILD)/package/*.deb

package-check: package
	@scripts/check-package.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(MUTATE_BUILD)
