# Every target first installs what it needs (scripts/install-deps does nothing
# when everything is present), then wraps the CMake presets.
.PHONY: deps build host win32 test demo bench clean

deps:
	@bash scripts/install-deps

host: deps
	cmake --preset host >/dev/null
	cmake --build --preset host -- --no-print-directory

win32: deps
	cmake --preset win32 >/dev/null
	cmake --build --preset win32 -- --no-print-directory

build: host win32

test: build asan
	ctest --preset host
	ctest --preset asan

# make bench [CORPUS=DIR]: Quorvex against gzip, zip, lha and xz, side by side.
CORPUS ?= ../shared/corpus
bench: host
	@bash scripts/install-deps bench
	bash bench/run-bench.sh $(CORPUS)

clean:
	rm -rf build

# make demo: packs examples/demo/ into build/demo.exe (comment, password,
# launch target), runs it under Wine in Xvfb through the e2e driver, prints
# what the driver saw and the extracted tree; pictures in build/screenshots/.
demo: build
	bash scripts/run-demo

# The host build once more under AddressSanitizer and UndefinedBehaviorSanitizer;
# `make test` runs its tests too, the fuzz corpus replay among them.
.PHONY: asan fuzz fuzz-build fuzz-merge fuzz-seeds fuzz-coverage
asan: deps
	cmake --preset asan >/dev/null
	cmake --build --preset asan -- --no-print-directory

# make fuzz [FUZZ_SECONDS=N]: libFuzzer with both sanitizers over the whole read
# path for N seconds, from the saved corpus. New inputs collect in
# build/fuzz/corpus, crashes in build/fuzz/crashes; `make fuzz-merge` adds the
# new inputs that reach new code to tests/fuzz/corpus.
FUZZ_SECONDS ?= 600
FUZZ_BUILD = build/fuzz
FUZZ_FLAGS = -dict=tests/fuzz/quorvex.dict -max_len=16384 -timeout=10 -rss_limit_mb=2048 -use_value_profile=1
fuzz-build: deps
	cmake -S tests/fuzz -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	cmake --build $(FUZZ_BUILD) -j2 -- --no-print-directory

fuzz: fuzz-build
	mkdir -p $(FUZZ_BUILD)/corpus $(FUZZ_BUILD)/crashes
	$(FUZZ_BUILD)/quorvex_fuzz $(FUZZ_FLAGS) -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	  -artifact_prefix=$(FUZZ_BUILD)/crashes/ $(FUZZ_BUILD)/corpus tests/fuzz/corpus tests/fuzz/regressions

fuzz-merge: fuzz-build
	$(FUZZ_BUILD)/quorvex_fuzz $(FUZZ_FLAGS) -merge=1 tests/fuzz/corpus $(FUZZ_BUILD)/corpus

# Rewrites the seed archives of tests/fuzz/corpus from the writer in pack/.
fuzz-seeds: host
	build/host/tests/fuzz/quorvex_fuzz_seeds tests/fuzz/corpus

# Line coverage of the extractor reached by the saved corpus (llvm-cov).
fuzz-coverage: deps
	cmake -S tests/fuzz -B $(FUZZ_BUILD)-coverage -DCMAKE_CXX_COMPILER=clang++ -DQUORVEX_FUZZ_COVERAGE=ON >/dev/null
	cmake --build $(FUZZ_BUILD)-coverage -j2 -- --no-print-directory
	LLVM_PROFILE_FILE=$(FUZZ_BUILD)-coverage/replay.profraw \
	  $(FUZZ_BUILD)-coverage/quorvex_fuzz_coverage tests/fuzz/corpus tests/fuzz/regressions $(wildcard $(FUZZ_BUILD)/corpus)
	llvm-profdata merge -o $(FUZZ_BUILD)-coverage/replay.profdata $(FUZZ_BUILD)-coverage/replay.profraw
	llvm-cov report $(FUZZ_BUILD)-coverage/quorvex_fuzz_coverage -instr-profile=$(FUZZ_BUILD)-coverage/replay.profdata \
	  archive decoder extract app platform
