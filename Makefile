# The two commands of the README: `make run` and `make test`. Both install
# what is missing first.
BUILD := build
JOBS := $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS := -DCMAKE_BUILD_TYPE=RelWithDebInfo $(if $(CI),-DKNOLL_WERROR=ON)

.PHONY: all setup build run test clean

all: build

setup:
	@bash scripts/setup.sh

$(BUILD)/Makefile: CMakeLists.txt | setup
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: setup $(BUILD)/Makefile
	cmake --build $(BUILD) -j$(JOBS)

run: build
	@bash scripts/run.sh

test: build
	bash scripts/with-display.sh ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

clean:
	rm -rf $(BUILD) $(WIN_BUILD) $(WEB_BUILD) $(WEB_SITE) .$(WEB_SITE).next $(SITE)

# Rewrites the reference images of the frame tests from the project's assets.
# Only on purpose: the committed images are what later frames are held to.
.PHONY: references
references: build
	KNOLL_UPDATE_REFERENCES=1 bash scripts/with-display.sh $(BUILD)/tests/test_frame --gtest_filter='FrameReference.*'

# Redraws the pictures of docs/frame.md: one frame at the start view, pass by
# pass, through the render tool with the default settings, and the tiles
# held around a camera over a 4097-square map of the generator's.
.PHONY: docs
docs: build
	mkdir -p docs/frame
	bash scripts/with-display.sh $(BUILD)/bench/knoll_render --size 400x300 --frames 1 \
		--warmup 1 --pass-pngs docs/frame
	$(BUILD)/tools/mapgen $(BUILD)/map4097.png 4097
	bash scripts/with-display.sh $(BUILD)/bench/knoll_stream picture $(BUILD)/map4097.png \
		docs/frame/tiles.png

# --------------------------------------------------------------- windows ----
# windows: a 64-bit Windows build cross-compiled with MinGW-w64 in
# build-windows/, and build-windows/knoll-<version>-win64.zip. GLFW, libepoxy
# and googletest are built from Debian's sources once and kept in
# ~/.cache/knoll (scripts/setup-windows.sh). test-windows: the test suites
# built for Windows, run under Wine on a private Xvfb.
WIN_BUILD := build-windows
WIN_FLAGS := -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKNOLL_BENCH=OFF \
	-DSTB_INCLUDE_DIR=/usr/include/stb $(if $(CI),-DKNOLL_WERROR=ON)

.PHONY: windows test-windows

windows: setup
	@bash scripts/setup-windows.sh $(WIN_BUILD)
	cmake -S . -B $(WIN_BUILD) --toolchain cmake/mingw-w64-x86_64.cmake \
		-C $(WIN_BUILD)/deps.cmake $(WIN_FLAGS)
	cmake --build $(WIN_BUILD) -j$(JOBS) --target knoll_zip

# The end-to-end cases run one at a time: their programs share the build's
# one Wine session, whose input and window handling mix up programs on
# several displays at once.
test-windows: windows
	cmake --build $(WIN_BUILD) -j$(JOBS)
	bash scripts/with-display.sh bash -c 'ctest --test-dir $(WIN_BUILD) --output-on-failure \
		-j$(JOBS) --timeout 900 -LE e2e; status=$$?; \
		ctest --test-dir $(WIN_BUILD) --output-on-failure --timeout 900 -L e2e || status=1; \
		WINEPREFIX=$(CURDIR)/$(WIN_BUILD)/wine wineserver -k; exit $$status'

# ------------------------------------------------------------------- web ----
# web: Knoll for the browser, built with Debian's Emscripten into build-web/,
# a static folder any web server serves as it is (the CMake tree is
# build-emscripten/). serve-web: serves it on http://localhost:8080/.
# test-web: the browser lane, in Debian's Chromium (tests/web).
WEB_BUILD := build-emscripten
WEB_SITE := build-web
WEB_PORT ?= 8080
# Node from outside Debian does not search Debian's module folder, where
# Emscripten's own JavaScript tools find acorn.
WEB_ENV := NODE_PATH=/usr/share/nodejs

.PHONY: web serve-web test-web

web: setup
	@bash scripts/setup.sh emscripten webp zopfli terser
	$(WEB_ENV) emcmake cmake -S . -B $(WEB_BUILD) -DCMAKE_BUILD_TYPE=Release \
		-DSTB_INCLUDE_DIR=/usr/include/stb -DKNOLL_WEB_SITE=$(CURDIR)/$(WEB_SITE) \
		$(if $(CI),-DKNOLL_WERROR=ON)
	$(WEB_ENV) cmake --build $(WEB_BUILD) -j$(JOBS)

serve-web: web
	@echo "Knoll is served at http://localhost:$(WEB_PORT)/ (Ctrl-C stops)"
	python3 -m http.server --bind 127.0.0.1 --directory $(WEB_SITE) $(WEB_PORT)

test-web: web
	@bash scripts/setup.sh chromium chromium-headless-shell $$(command -v npm >/dev/null || echo npm)
	bash tests/web/run.sh $(WEB_SITE)

# ------------------------------------------------------------------ site ----
# site: the folder to publish, build-site/: Knoll's home page, the page under
# play/, the Windows zip, the Debian package and the source with their
# SHA-256 sums, and docs/frame.md rendered (scripts/site.sh). serve-site:
# serves it on http://localhost:8080/. test-site: every link of every page
# resolves within it, the home page has what a project's home needs, the
# manifest opens the page and the sums hold (tests/web/check_site.py).
SITE := build-site

.PHONY: site serve-site test-site

site: web windows package
	@bash scripts/setup.sh python3-markdown
	bash scripts/site.sh $(SITE) $(WEB_SITE) $(WIN_BUILD) $(PKG_BUILD)

serve-site: site
	@echo "The site is served at http://localhost:$(WEB_PORT)/ (Ctrl-C stops)"
	python3 -m http.server --bind 127.0.0.1 --directory $(SITE) $(WEB_PORT)

test-site: site
	python3 tests/web/check_site.py $(SITE)

# ------------------------------------------------------------ portability ----
# check-glfw34: the sources that call GLFW compiled (not linked) against
# GLFW 3.4's headers from Debian 13's source package, for the code only
# GLFW 3.4 builds; CI runs it on Debian 12, whose GLFW is 3.3.
.PHONY: check-glfw34
check-glfw34: setup
	bash scripts/check-glfw34.sh $(BUILD)

# test-trixie: `make test` on the committed HEAD in a fresh Debian 13 root,
# made with debootstrap by FRESH_MACHINE (needs root, or sudo).
FRESH_MACHINE ?= ../shared/tools/fresh-machine
AS_ROOT := $(if $(filter 0,$(shell id -u)),,sudo)

.PHONY: test-trixie
test-trixie:
	@bash scripts/setup.sh debootstrap
	@[ -x "$(FRESH_MACHINE)" ] || { echo "test-trixie: $(FRESH_MACHINE) not found; set FRESH_MACHINE" >&2; exit 1; }
	$(AS_ROOT) $(FRESH_MACHINE) --suite trixie $(CURDIR)

# test-wayland: the end-to-end cases natively on Wayland, under a headless
# sway with real input through its virtual keyboard and pointer, plus the
# window tests that need multisampling, in a fresh Debian 13 root like
# test-trixie (tests/e2e/wayland-lane.sh; the committed HEAD).
.PHONY: test-wayland
test-wayland:
	@bash scripts/setup.sh debootstrap
	@[ -x "$(FRESH_MACHINE)" ] || { echo "test-wayland: $(FRESH_MACHINE) not found; set FRESH_MACHINE" >&2; exit 1; }
	$(AS_ROOT) $(FRESH_MACHINE) --suite trixie $(CURDIR) -- bash tests/e2e/wayland-lane.sh

# ------------------------------------------------------------ reliability ----
# test-sanitize: the tests and a short real run, built with ASan and UBSan.
# The end-to-end cases are left to that real run, which keeps the GL driver
# loaded to the end so that its allocations are not taken for our leaks.
# fuzz: each fuzz target for SECONDS (clang). demo: a scripted flight with
# screenshots in run/shots/. soak: MINUTES of random input. KNOLL_ASSET_DIR
# points every build at other assets.
SAN_BUILD := build-sanitize
FUZZ_BUILD := build-fuzz
SECONDS ?= 60
MINUTES ?= 10
ASSET_FLAG := $(if $(KNOLL_ASSET_DIR),-DKNOLL_ASSET_DIR=$(KNOLL_ASSET_DIR))
SAN_ENV := LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp \
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

.PHONY: test-sanitize fuzz demo soak

test-sanitize: setup
	cmake -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKNOLL_SANITIZE=ON \
		-DKNOLL_BENCH=OFF $(ASSET_FLAG)
	cmake --build $(SAN_BUILD) -j$(JOBS)
	$(SAN_ENV) bash scripts/with-display.sh \
		ctest --test-dir $(SAN_BUILD) --output-on-failure -j$(JOBS) -LE e2e
	bash scripts/sanitize-run.sh $(SAN_BUILD)

fuzz: setup
	bash fuzz/run.sh --build-dir $(FUZZ_BUILD) --seconds $(SECONDS) --keep \
		$(if $(KNOLL_ASSET_DIR),--asset-dir $(KNOLL_ASSET_DIR))

demo: build
	bash scripts/demo.sh $(BUILD)

soak: build
	bash scripts/soak.sh --minutes $(MINUTES) $(BUILD)

# ------------------------------------------------------------- packaging ----
# package: the Debian package in build-package/, built with Debian's hardening
# flags and checked with lintian and the desktop, AppStream and manual page
# checkers. package-test: builds, installs, runs and removes it in fresh
# Debian 12 and 13 roots (slow: needs root and debootstrap, and tests the
# committed HEAD, not the working tree).
PKG_BUILD := build-package
PKG_FLAGS = $$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get $(1))

.PHONY: package package-test

package:
	@bash scripts/setup-package.sh
	cmake -S . -B $(PKG_BUILD) -DCMAKE_BUILD_TYPE=Release \
		-DKNOLL_TESTS=OFF -DKNOLL_BENCH=OFF -DKNOLL_TOOLS=OFF \
		-DCMAKE_C_FLAGS="$(call PKG_FLAGS,CFLAGS) $(call PKG_FLAGS,CPPFLAGS)" \
		-DCMAKE_CXX_FLAGS="$(call PKG_FLAGS,CXXFLAGS) $(call PKG_FLAGS,CPPFLAGS)" \
		-DCMAKE_EXE_LINKER_FLAGS="$(call PKG_FLAGS,LDFLAGS)"
	cmake --build $(PKG_BUILD) -j$(JOBS)
	rm -f $(PKG_BUILD)/knoll_*.deb
	cd $(PKG_BUILD) && cpack -G DEB
	bash packaging/check_package.sh $(PKG_BUILD)

package-test:
	bash packaging/package-test.sh
