# Folvane top-level targets. Each one first makes sure the Debian packages are there.
JOBS ?= $(shell nproc)
BUILD ?= build
ASAN_BUILD ?= build-asan
BENCH_BUILD ?= build-bench
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
CMAKE_FLAGS ?=

PREFIX ?= /usr/local
DESTDIR ?=

.PHONY: deps build demo test test-sanitize fuzz clean screenshots bench install package

deps:
	@bash scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

# Converts the bundled sample images into one PDF with default settings. The settings file is a
# fresh one under out/, so the demo never reads or changes the user's settings. Only the command
# line is built, with the external converter it loads (a dependency of its target), not the
# desktop program or the tests.
demo: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target folvane-cli
	@mkdir -p out
	@rm -f out/samples.pdf out/demo-settings.ini
	@$(BUILD)/bin/folvane-cli convert --settings out/demo-settings.ini -q -o out/samples.pdf samples
	@echo "$(CURDIR)/out/samples.pdf"
	@pdfinfo out/samples.pdf | grep '^Pages:'

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Installs the programs, the engine library with its header, the converter plugin, the help page,
# the desktop file with its icons and the manual page below PREFIX (staged below DESTDIR if given):
#   make install PREFIX=/usr DESTDIR=/tmp/stage
install: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=$(PREFIX) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)
	@DESTDIR=$(DESTDIR) cmake --install $(BUILD)

# The Debian package of the programs in out/package/, checked with appstreamcli and lintian. The
# build is configured for /usr, where the package installs; only what the package holds is built.
package: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target folvane folvane-cli folvane_icons
	@rm -rf out/package && mkdir -p out/package
	@cd $(BUILD) && cpack -G DEB -B $(CURDIR)/out/package >/dev/null
	@rm -rf out/package/_CPack_Packages
	@appstreamcli validate --no-net $(BUILD)/share/metainfo/*.metainfo.xml
	@lintian --fail-on error out/package/*.deb
	@ls out/package/*.deb

test-sanitize: deps
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DFOLVANE_SANITIZE=ON $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS)

fuzz: deps
	@cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFOLVANE_FUZZ=ON -DFOLVANE_BUILD_TESTS=OFF \
	  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@bash fuzz/run-all.sh $(FUZZ_BUILD)/bin $(FUZZ_SECONDS) $(FUZZ_TARGETS)

# Offscreen pictures of every main-window page and settings tab, for reviewing the look.
# The program runs with scratch home and settings folders so nothing of the user's is touched.
screenshots: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target folvane_screenshots
	@rm -rf $(BUILD)/screenshots-scratch && mkdir -p -m 700 $(BUILD)/screenshots-scratch/run out/screenshots
	@printf '{"screens":[{"name":"small","x":0,"y":0,"width":1024,"height":600,"logicalDpi":96,"logicalBaseDpi":96,"dpr":1}]}\n' \
	  >$(BUILD)/screenshots-scratch/1024x600.json
	@S=$(CURDIR)/$(BUILD)/screenshots-scratch; shoot() { env HOME=$$S XDG_CONFIG_HOME=$$S/config XDG_DATA_HOME=$$S/data \
	  XDG_RUNTIME_DIR=$$S/run "$$@" 2>/dev/null; }; \
	  shoot QT_QPA_PLATFORM=offscreen $(BUILD)/bin/folvane_screenshots out/screenshots $$S/Settings.ini && \
	  shoot QT_QPA_PLATFORM=offscreen $(BUILD)/bin/folvane_screenshots out/screenshots $$S/Settings.ini --dark --suffix _dark && \
	  shoot QT_QPA_PLATFORM=offscreen:configfile=$$S/1024x600.json QT_SCALE_FACTOR=1.5 \
	    $(BUILD)/bin/folvane_screenshots out/screenshots $$S/Settings.ini --main-only --suffix _1024x600_scale1.5 && \
	  shoot QT_QPA_PLATFORM=offscreen $(BUILD)/bin/folvane_screenshots out/screenshots $$S/Settings.ini \
	    --main-only --font-pt 13 --suffix _13pt
	@echo "screenshots in out/screenshots/ (light, *_dark, *_1024x600_scale1.5 and *_13pt)"

# Times folvane-cli against img2pdf, tiff2pdf, ImageMagick and a plain copy on a generated corpus
# (out/bench-corpus/, made once) and prints the table; bench/run-bench.sh installs the peers.
bench: deps
	@cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BENCH_BUILD) -j $(JOBS) --target folvane-cli folvane_bench_corpus folvane_deskew_bench
	@bash bench/run-bench.sh $(BENCH_BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
