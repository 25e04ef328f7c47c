# User commands: `make run` starts the program, `make test` builds and runs every test.
# Both first install any missing Debian package listed in packages.txt.

BUILD   ?= build
JOBS    ?= $(shell nproc)
CMAKE   := cmake -G Ninja -Wno-dev

.PHONY: run test setup release check-build clean

setup:
	@scripts/setup.sh

release: setup
	@$(CMAKE) -S . -B $(BUILD)/release -DCMAKE_BUILD_TYPE=Release -DVELMOR_TESTS=OFF >/dev/null
	@cmake --build $(BUILD)/release -j $(JOBS)

run: release
	@scripts/run.sh $(BUILD)/release/app/velmor-kanji

check-build: setup
	@$(CMAKE) -S . -B $(BUILD)/test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMOR_SANITIZE=ON >/dev/null
	@cmake --build $(BUILD)/test -j $(JOBS)

test: check-build
	cd $(BUILD)/test && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD)
