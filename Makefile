# The two commands of the README, make play and make test, and the others. Each first
# installs what its own purpose needs and is missing (scripts/install-deps.sh PURPOSE).
BUILD ?= build
JOBS ?= 2
DEPS = bash scripts/install-deps.sh
CONFIGURE = cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: play test bench assets screenshots fuzz clean package windows web play-web

# Only the one target asked for, its output kept in a log (shown when the build fails), so
# that the first thing on the screen after the packages is the game.
define build_game
	@mkdir -p $(BUILD)
	@echo "make: building $(BUILD)/$(1) (log: $(BUILD)/build.log)"
	@{ $(CONFIGURE) && cmake --build $(BUILD) -j$(JOBS) --target $(1); } > $(BUILD)/build.log 2>&1 \
		|| { tail -n 60 $(BUILD)/build.log; echo "make: the build failed; the whole log is $(BUILD)/build.log"; exit 1; }
endef

play:
	@$(DEPS) play
	$(call build_game,zumble)
	@./$(BUILD)/zumble $(ARGS)

# Everything (the game, the tests, the benchmarks, the asset generator), then every test.
test:
	@$(DEPS) test
	@$(CONFIGURE) -DZUMBLE_REQUIRE_TESTS=ON -DZUMBLE_REQUIRE_BENCH=ON > /dev/null
	@cmake --build $(BUILD) -j$(JOBS) -- --no-print-directory
	@bash scripts/run-tests.sh $(BUILD)

bench:
	@$(DEPS) bench
	@bash scripts/run-bench.sh

fuzz:
	@$(DEPS) fuzz
	@bash scripts/run-fuzz.sh $(FUZZ_SECONDS)

# The asset generator writes bmp/, wave/ and the icons (a test checks they match).
assets:
	@$(DEPS) play
	$(call build_game,zumble_assets)
	./$(BUILD)/zumble_assets .

screenshots:
	@$(DEPS) play
	$(call build_game,zumble)
	@bash scripts/screenshots.sh $(BUILD)/zumble

# The Debian package, dist/zumble_VERSION_amd64.deb (CPack; see cmake/packaging.cmake).
package:
	@$(DEPS) package
	$(call build_game,zumble)
	@cmake --build $(BUILD) --target package -- --no-print-directory

# The Windows programs, cross-built with MinGW-w64 into build-windows/, packed into
# dist/zumble-VERSION-windows-x64.zip (their tests compare with the Linux game, so that
# is built first).
windows:
	@$(DEPS) windows
	$(call build_game,zumble)
	@cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
		-DCMAKE_BUILD_TYPE=Release -DZUMBLE_LINUX_GAME=$(CURDIR)/$(BUILD)/zumble >/dev/null
	@cmake --build build-windows -j$(JOBS) -- --no-print-directory
	@cd build-windows && cpack -B package > /dev/null
	@mkdir -p dist && cp build-windows/package/zumble-*-windows-x64.zip dist/
	@ls dist/zumble-*-windows-x64.zip

# The browser build, with Emscripten's CMake toolchain: the page in build-web/site/.
web:
	@$(DEPS) web
	@NODE_PATH=/usr/share/nodejs emcmake cmake -S . -B build-web -DCMAKE_BUILD_TYPE=Release >/dev/null
	@NODE_PATH=/usr/share/nodejs cmake --build build-web -j$(JOBS) -- --no-print-directory
	@echo "the page is in build-web/site/"

play-web: web
	@echo "Zumble is at http://127.0.0.1:8000/ (Ctrl+C stops the server)"
	@cd build-web/site && python3 -m http.server 8000 --bind 127.0.0.1

clean:
	rm -rf $(BUILD) build-*

# The best-times server (board/), a CMake project of its own in build-board/, so that the
# game's build never needs its libraries. Its tests: ctest --test-dir build-board.
.PHONY: board play-board
board:
	@$(DEPS) board
	@cmake -S board -B build-board -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DZUMBLE_GAME=$(CURDIR)/$(BUILD)/zumble >/dev/null
	@cmake --build build-board -j$(JOBS) -- --no-print-directory

# The board's Debian package, dist/zumble-board_VERSION_amd64.deb (CPack; see
# board/cmake/board_package.cmake), with the page of make web; it depends on the game's
# package of the same version (make package).
.PHONY: package-board
package-board: web board
	@cmake --build build-board --target package -- --no-print-directory

# The board on http://127.0.0.1:8080/ over a fresh SQLite file, verifying with the game
# just built; the page at /play/ when `make web` has built it.
play-board: board
	$(call build_game,zumble)
	@rm -f build-board/play-board.db build-board/play-board.db-wal build-board/play-board.db-shm
	@[ -d build-web/site ] || echo "(no build-web/site: run make web for the page at /play/)"
	@echo "The board is at http://127.0.0.1:8080/ (Ctrl+C stops it)"
	./build-board/zumble-board --db build-board/play-board.db --zumble $(BUILD)/zumble \
		$$([ -d build-web/site ] && echo --site build-web/site)
