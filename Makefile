# The two commands: `make run` and `make test`. Both install what is missing first.
BUILD ?= build
JOBS ?= 2
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo Ninja || echo "Unix Makefiles")

.PHONY: deps configure build test run bench package clean

deps:
	bash scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j$(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

run: build
	bash scripts/run.sh $(BUILD)/bin

package: build
	cd $(BUILD) && cpack -G DEB

bench: deps
	cmake -S . -B $(BUILD)-bench -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=Release -DTOVI_BUILD_TESTS=OFF -DTOVI_BUILD_BENCH=ON
	cmake --build $(BUILD)-bench -j$(JOBS)

clean:
	rm -rf $(BUILD) $(BUILD)-bench
