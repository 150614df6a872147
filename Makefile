# The two commands: `make run` and `make test`. Both install what is missing first.
BUILD ?= build
JOBS ?= 2
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo Ninja || echo "Unix Makefiles")

.PHONY: deps configure build test run bench package sanitize clean

deps:
	bash scripts/install-deps.sh

# The benchmarks are built with the tests (never run by them), so a change that breaks one fails.
configure: deps
	cmake -S . -B $(BUILD) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOVI_BUILD_BENCH=ON

build: configure
	cmake --build $(BUILD) -j$(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

# Only what the program needs to run: no tests.
run: configure
	cmake --build $(BUILD) -j$(JOBS) --target tovidesk-cli starter_database $$([ -d $(BUILD)/src/gui ] && echo tovidesk)
	bash scripts/run.sh $(BUILD)/bin

package: build
	cd $(BUILD) && cpack -G DEB

bench: deps
	cmake -S . -B $(BUILD)-bench -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=Release -DTOVI_BUILD_TESTS=OFF -DTOVI_BUILD_BENCH=ON
	cmake --build $(BUILD)-bench -j$(JOBS)

# The whole suite built with AddressSanitizer and UndefinedBehaviorSanitizer (not part of `make test`).
sanitize: deps
	cmake -S . -B $(BUILD)-sanitize -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-omit-frame-pointer -O1" \
	  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined"
	cmake --build $(BUILD)-sanitize -j$(JOBS)
	cd $(BUILD)-sanitize && UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp ctest --output-on-failure -j$(JOBS)

clean:
	rm -rf $(BUILD) $(BUILD)-bench $(BUILD)-sanitize
