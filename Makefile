# The two commands of the README. Both install what is missing first.
BUILD ?= build
JOBS ?= 2

.PHONY: deps build play test bench assets screenshots fuzz clean package windows web play-web

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

# The Windows programs, cross-built with MinGW-w64 into build-windows/, packed into
# dist/zumble-VERSION-windows-x64.zip (their tests compare with the Linux build, so that
# comes first).
windows: build
	@cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
		-DCMAKE_BUILD_TYPE=Release -DZUMBLE_LINUX_GAME=$(CURDIR)/$(BUILD)/zumble >/dev/null
	@cmake --build build-windows -j$(JOBS)
	@cd build-windows && cpack -B package > /dev/null
	@mkdir -p dist && cp build-windows/package/zumble-*-windows-x64.zip dist/
	@ls dist/zumble-*-windows-x64.zip

# The browser build, with Emscripten's CMake toolchain: the page in build-web/site/.
web: deps
	@NODE_PATH=/usr/share/nodejs emcmake cmake -S . -B build-web -DCMAKE_BUILD_TYPE=Release >/dev/null
	@NODE_PATH=/usr/share/nodejs cmake --build build-web -j$(JOBS) -- --no-print-directory
	@echo "the page is in build-web/site/"

play-web: web
	@echo "Zumble is at http://127.0.0.1:8000/ (Ctrl+C stops the server)"
	@cd build-web/site && python3 -m http.server 8000 --bind 127.0.0.1

assets: build
	./$(BUILD)/zumble_assets .

clean:
	rm -rf $(BUILD) build-*

# The best-times server (board/), a CMake project of its own in build-board/, so that the
# game's build never needs its libraries. Its tests: ctest --test-dir build-board.
.PHONY: board play-board
board: deps
	@cmake -S board -B build-board -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DZUMBLE_GAME=$(CURDIR)/$(BUILD)/zumble >/dev/null
	@cmake --build build-board -j$(JOBS) -- --no-print-directory

# The board on http://127.0.0.1:8080/ over a fresh SQLite file, verifying with the game
# just built; the page at /play/ when `make web` has built it.
play-board: board
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j$(JOBS) --target zumble
	@rm -f build-board/play-board.db build-board/play-board.db-wal build-board/play-board.db-shm
	@[ -d build-web/site ] || echo "(no build-web/site: run make web for the page at /play/)"
	@echo "The board is at http://127.0.0.1:8080/ (Ctrl+C stops it)"
	./build-board/zumble-board --db build-board/play-board.db --zumble $(BUILD)/zumble \
		$$([ -d build-web/site ] && echo --site build-web/site)
