# Two commands for a newcomer: `make run` and `make test`.
BUILD ?= build
JOBS ?= 2
CMAKE_FLAGS ?=
TIDY_BUILD ?= build-tidy
CLANG_FORMAT ?= clang-format
CLANG_TIDY ?= clang-tidy
RUN_CLANG_TIDY ?= run-clang-tidy

.PHONY: deps build test run install package soak fuzz-long bench clean lint format format-check tidy lint-deps

deps:
	@scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null
	cmake --build $(BUILD) -j$(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j4 --timeout 900

run: build
	testbed/run.sh $(BUILD)

# make install [PREFIX=/usr/local] [DESTDIR=/tmp/stage]
PREFIX ?= /usr/local
install: build
	DESTDIR=$(DESTDIR) cmake --install $(BUILD) --prefix $(PREFIX)

# The Debian package, in $(BUILD): apt install ./$(BUILD)/quillbrook_*.deb
package: build
	cd $(BUILD) && cpack -G DEB

# Misbehaving servers, many sessions, searches reset every few seconds.
SOAK_SECONDS ?= 60
soak: build
	$(BUILD)/tests/soak/soak $(SOAK_SECONDS)

# Every fuzz target to 10^7 executions, or FUZZ_SECONDS each at most, JOBS at once.
FUZZ_SECONDS ?= 3600
fuzz-long:
	QB_FUZZ_DEPS=1 scripts/install-deps.sh
	CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -DQB_FUZZ=ON -DQB_HEADLESS=ON \
	  -DQB_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build build-fuzz -j$(JOBS) --target fuzz_all
	QB_FUZZ_JOBS=$(JOBS) fuzz/run.sh build-fuzz $(FUZZ_SECONDS) 10000000

bench: build
	@QB_BENCH_DEPS=1 scripts/install-deps.sh
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

clean:
	rm -rf $(BUILD)

# Format check and clang-tidy; both fail on any finding.
lint: format-check tidy

lint-deps:
	@QB_LINT_DEPS=1 scripts/install-deps.sh

format: lint-deps
	git ls-files -z '*.cpp' '*.h' | xargs -0 $(CLANG_FORMAT) -i

format-check: lint-deps
	git ls-files -z '*.cpp' '*.h' | xargs -0 $(CLANG_FORMAT) --dry-run -Werror

# The program's own sources, from the headless build's compile commands; nothing
# needs building first.
tidy: lint-deps
	cmake -S . -B $(TIDY_BUILD) -DQB_HEADLESS=ON -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
	$(RUN_CLANG_TIDY) -clang-tidy-binary $(CLANG_TIDY) -p $(TIDY_BUILD) -j$(JOBS) -quiet \
	  '^$(CURDIR)/(core|net|explore|index|crawl|transfer|search|version|ui|mainwin|cli)/'
