# make demo   : install what is missing, build, convert the sample assets into out/demo
# make test   : install what is missing, build with the sanitizers, run every test
# make bench  : release build, then the benchmarks
# make fuzz   : clang build of the fuzz targets, each run briefly on its corpus
# make package: release build, then the Debian package (build/release/tarsel-toolkit_*.deb)
#
# Each build is a preset of CMakePresets.json (dev, release, fuzz), so an IDE or a
# plain `cmake --preset NAME` gives the same build as these targets.

JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 20

.PHONY: deps release demo test bench fuzz package clean

deps:
	@scripts/install_deps.sh

release: deps
	cmake --preset release
	cmake --build --preset release -j $(JOBS)

demo: release
	scripts/demo.sh build/release out/demo

test: deps
	cmake --preset dev
	cmake --build --preset dev -j $(JOBS)
	ctest --preset dev -j $(JOBS)

bench: release
	bench/run.sh build/release

fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS)
	fuzz/run_all.sh build/fuzz $(FUZZ_SECONDS)

# Only what the programs and CPack need: no test tools.
package:
	@scripts/install_deps.sh programs package
	cmake --preset release
	cmake --build --preset release -j $(JOBS)
	cpack --preset release

clean:
	rm -rf build out
