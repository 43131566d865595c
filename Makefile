# The two commands of the README: `make run` and `make test`.
BUILD_DIR ?= build
BUILD_TYPE ?= Release
JOBS ?= $(shell nproc)

.PHONY: run test test-sanitize fuzz deps configure build format bench clean package

deps:
	./scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	./scripts/run-tessaly $(BUILD_DIR)

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# The Debian package tessaly_<version>_<arch>.deb, in the build folder.
package: build
	cd $(BUILD_DIR) && cpack -G DEB

# The tests built with AddressSanitizer and UndefinedBehaviorSanitizer, in a build folder of their own.
SANITIZE_DIR ?= build-sanitize
test-sanitize: deps
	cmake -S . -B $(SANITIZE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSALY_SANITIZE=ON
	cmake --build $(SANITIZE_DIR) -j $(JOBS)
	cd $(SANITIZE_DIR) && \
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitize/lsan.supp:print_suppressions=0 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	ctest --output-on-failure -j $(JOBS)

# Each fuzz harness for FUZZ_SECONDS (clang, libFuzzer), from its seed corpus; findings go to
# $(FUZZ_DIR)/findings. The corpus grows in $(FUZZ_DIR)/corpus.
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZERS := fuzz_locked_file fuzz_register fuzz_profile fuzz_strong_file fuzz_sealed_folder
fuzz: deps
	CXX=clang++ cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSALY_FUZZ=ON
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target $(FUZZERS)
	mkdir -p $(FUZZ_DIR)/findings
	for f in $(FUZZERS); do \
	  mkdir -p $(FUZZ_DIR)/corpus/$$f && \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitize/lsan.supp \
	  $(FUZZ_DIR)/tests/fuzz/$$f -max_total_time=$(FUZZ_SECONDS) -max_len=65536 -timeout=20 \
	    -artifact_prefix=$(FUZZ_DIR)/findings/$$f- $(FUZZ_DIR)/corpus/$$f tests/fuzz/corpus/$$f || exit 1; \
	done

# Each figure against its peer, in one run; every script records its medians in BENCH_SUMMARY and the
# run ends with the table of them all.
bench: export BENCH_SUMMARY = $(abspath $(BUILD_DIR))/bench-summary.txt
bench: build
	rm -f $(BENCH_SUMMARY)
	./bench/run $(BUILD_DIR)
	./bench/thumbnails $(BUILD_DIR)
	./bench/pane $(BUILD_DIR)
	./bench/shred $(BUILD_DIR)
	./bench/strong $(BUILD_DIR)
	./bench/sealed $(BUILD_DIR)
	./bench/unlock $(BUILD_DIR)
	./bench/favourites $(BUILD_DIR)
	./bench/vault $(BUILD_DIR)
	@echo
	./bench/summary print $(BENCH_SUMMARY)

format:
	find src tests bench -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR)
