# The two commands of the README. Both install what is missing first.
BUILD ?= build
JOBS ?= 2

.PHONY: deps build play test bench assets screenshots fuzz clean package

deps:
	@bash scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j$(JOBS)

play: build
	./$(BUILD)/zumble $(ARGS)

test: build
	@bash scripts/run-tests.sh $(BUILD)

bench: deps
	@bash scripts/run-bench.sh

# The Debian package, dist/zumble_VERSION_amd64.deb (CPack; see cmake/packaging.cmake).
package: build
	@cmake --build $(BUILD) --target package

assets: build
	./$(BUILD)/zumble_assets .

clean:
	rm -rf $(BUILD) build-*
