# Lumivane — the two set-up commands are `make run` and `make test`; both install what is
# missing first.
BUILD_DIR ?= build
BENCH_DIR ?= build-bench
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: deps configure build test test-tsan run bench bench-compare sanitize package screenshots fuzz clean

deps:
	./scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release -DLUMIVANE_TESTS=ON $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 600

# The window with samples/wine.csv open; without a display, the batch mode's demo on the samples
# (scripts/batch-demo), which writes projects, an .xlsx with the answers and the cells, pictures
# and JSON summaries under out/ and lists them.
run: build
	@if [ -z "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  echo "make run: no display, so the lumivane window cannot open; running the batch demo instead."; \
	  ./scripts/batch-demo $(BUILD_DIR) out; \
	else \
	  ./$(BUILD_DIR)/host/lumivane samples/wine.csv; \
	fi

bench: deps
	cmake -S . -B $(BENCH_DIR) -DCMAKE_BUILD_TYPE=Release -DLUMIVANE_TESTS=OFF -DLUMIVANE_BENCH=ON
	cmake --build $(BENCH_DIR) -j $(JOBS)
	./scripts/run-benchmarks $(BENCH_DIR)

# Our engines beside the peers (FANN, R kohonen, scikit-learn, numpy), one markdown table in
# bench/results/latest.md; installs the peers first.
bench-compare:
	./scripts/bench-compare

# The suite under AddressSanitizer and UndefinedBehaviourSanitizer (SANITIZE=thread for TSan).
SANITIZE ?= address,undefined
sanitize: deps
	cmake -S . -B build-sanitize-$(subst $(comma),-,$(SANITIZE)) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMIVANE_TESTS=ON -DLUMIVANE_SANITIZE=$(SANITIZE)
	cmake --build build-sanitize-$(subst $(comma),-,$(SANITIZE)) -j $(JOBS)
	cd build-sanitize-$(subst $(comma),-,$(SANITIZE)) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

comma := ,

# The training-thread tests under ThreadSanitizer: only the MLP engine and the plug-in they load,
# with kestrel's epochs shared out between threads.
TSAN_DIR ?= build-tsan
test-tsan: deps
	cmake -S . -B $(TSAN_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMIVANE_TESTS=ON -DLUMIVANE_SANITIZE=thread \
	  -DLUMIVANE_COMPONENTS="platform;shared;mlp/engine;plugins/rprop" $(CMAKE_FLAGS)
	cmake --build $(TSAN_DIR) -j $(JOBS) --target mlp_engine_tests kestrel kestrel_tests
	cd $(TSAN_DIR) && ctest --output-on-failure -j $(JOBS) -R '^Training|RpropThreads|WorkerPool' --timeout 600

# The Debian package: a build of its own installed under /usr with the private libraries in
# /usr/lib/lumivane, packed by CPack with its dependencies from dpkg-shlibdeps, then checked by
# lintian.
PACKAGE_DIR ?= build-package
package:
	./scripts/install-deps dpkg-dev fakeroot lintian file
	cmake -S . -B $(PACKAGE_DIR) -DCMAKE_BUILD_TYPE=Release -DLUMIVANE_TESTS=OFF \
	  -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_INSTALL_LIBDIR=lib $(CMAKE_FLAGS)
	cmake --build $(PACKAGE_DIR) -j $(JOBS)
	cd $(PACKAGE_DIR) && cpack -G DEB
	lintian --info --suppress-tags-from-file packaging/lintian-suppressed $(PACKAGE_DIR)/lumivane_*.deb
	# The package's own files, unpacked into a fresh root, checked with nothing of the build on the paths.
	rm -rf $(PACKAGE_DIR)/root && dpkg-deb -x $(PACKAGE_DIR)/lumivane_*.deb $(PACKAGE_DIR)/root
	./packaging/check-install --installed $(PACKAGE_DIR)/root/usr

# The help's pictures, taken under Xvfb from the windows' picture programs and the batch mode.
screenshots: build
	./scripts/install-deps pngquant xdotool
	cmake --build $(BUILD_DIR) -j $(JOBS) --target vantor_views_screenshots vantor_graph_screenshots \
	  gridwise_dialog_screenshots gridwise_map_screenshots lumivane-batch
	./scripts/screenshots $(BUILD_DIR)

# Every reader fuzzed (libFuzzer under AddressSanitizer and UndefinedBehaviourSanitizer, clang),
# FUZZ_SECONDS per harness; findings are kept under build-fuzz/fuzz-artifacts/.
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
fuzz:
	./scripts/install-deps clang
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMIVANE_TESTS=OFF -DLUMIVANE_FUZZ=ON \
	  -DLUMIVANE_COMPONENTS="platform;shared;mlp/engine;mlp/significance;mlp/workbench;kohonen/engine;kohonen/workbench;host" $(CMAKE_FLAGS)
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target fuzzers
	./fuzz/run-fuzzers $(FUZZ_DIR) $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD_DIR) $(BENCH_DIR) $(TSAN_DIR) $(PACKAGE_DIR) $(FUZZ_DIR) build-bench-compare build-sanitize-*
