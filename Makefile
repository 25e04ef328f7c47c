# User commands: `make run` starts the program, `make test` builds and runs every test.
# Both first install any missing Debian package listed in packages.txt.

BUILD   ?= build
JOBS    ?= $(shell nproc)
CMAKE   := cmake -G Ninja -Wno-dev

.PHONY: run test setup release check-build plain-build clean fuzz

setup:
	@scripts/setup.sh

release: setup
	@$(CMAKE) -S . -B $(BUILD)/release -DCMAKE_BUILD_TYPE=Release -DVELMOR_TESTS=OFF >/dev/null
	@cmake --build $(BUILD)/release -j $(JOBS)

# `make run` opens the sample VELMOR file; `make run FILE=` starts empty,
# `make run FILE=path` opens any file.
FILE ?= examples/sample-velmor.txt

run: release
	@scripts/run.sh $(BUILD)/release/app/velmor-kanji "$(FILE)"

check-build: setup
	@$(CMAKE) -S . -B $(BUILD)/test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMOR_SANITIZE=ON >/dev/null
	@cmake --build $(BUILD)/test -j $(JOBS)

# The byte logic once more with the plain branches beside its SSE2 fast paths, as
# machines without SSE2 (arm64) run them.
plain-build: setup
	@$(CMAKE) -S . -B $(BUILD)/plain -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMOR_SANITIZE=ON \
		-DVELMOR_PLAIN=ON >/dev/null
	@cmake --build $(BUILD)/plain -j $(JOBS) --target byte_tests

# The long runs (label `long`: the kill harness at many moments) are left out; run
# them with `cd build/test && ctest -L long`.
test: check-build plain-build
	cd $(BUILD)/test && ctest --output-on-failure -j $(JOBS) -LE long
	cd $(BUILD)/plain && ctest --output-on-failure -j $(JOBS) -L bytes

clean:
	rm -rf $(BUILD)

# `make fuzz` runs every fuzz target for FUZZ_SECONDS each, one after the other, on a
# working copy of its seed corpus. Inputs that break a target are left in
# fuzz-findings/<target>/; the run fails if there are any.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS ?= load linebreaks convert save gaijitable
FUZZ_FINDINGS ?= fuzz-findings

fuzz: setup
	@CC=clang CXX=clang++ $(CMAKE) -S . -B $(BUILD)/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DVELMOR_SANITIZE=ON -DVELMOR_FUZZ=ON -DVELMOR_TESTS=OFF >/dev/null
	@cmake --build $(BUILD)/fuzz -j $(JOBS) $(addprefix --target fuzz_,$(FUZZ_TARGETS))
	@failed=""; for t in $(FUZZ_TARGETS); do \
		mkdir -p $(FUZZ_FINDINGS)/$$t $(BUILD)/fuzz/corpus/$$t; \
		echo "== fuzz_$$t for $(FUZZ_SECONDS) s"; \
		$(BUILD)/fuzz/fuzz/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
			-artifact_prefix=$(FUZZ_FINDINGS)/$$t/ $(BUILD)/fuzz/corpus/$$t fuzz/corpus/$$t \
			|| failed="$$failed $$t"; \
	done; \
	if [ -n "$$failed" ]; then echo "fuzz findings for:$$failed (see $(FUZZ_FINDINGS)/)"; exit 1; fi
