# make demo : install what is missing, build, convert the sample assets into out/demo
# make test : install what is missing, build with the sanitizers, run every test
# make bench: release build, then the benchmarks
# make fuzz : clang build of the fuzz targets, each run briefly on its corpus

JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 20

.PHONY: deps demo test bench fuzz clean

deps:
	@scripts/install_deps.sh

build/release/gravik: deps FORCE
	cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
	cmake --build build/release -j $(JOBS)

demo: build/release/gravik
	scripts/demo.sh build/release out/demo

test: deps
	cmake -S . -B build/test -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=ON
	cmake --build build/test -j $(JOBS)
	cd build/test && ctest --output-on-failure -j $(JOBS)

bench: build/release/gravik
	bench/run.sh build/release

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF -DBUILD_FUZZERS=ON
	cmake --build build/fuzz -j $(JOBS)
	fuzz/run_all.sh build/fuzz $(FUZZ_SECONDS)

clean:
	rm -rf build out

FORCE:
