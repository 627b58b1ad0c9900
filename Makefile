# The project's commands. Each one installs what is missing first.
JOBS ?= $(shell nproc)
CMAKE_CONFIGURE = cmake -S . -DCMAKE_BUILD_TYPE

.PHONY: run test sanitize tsan bench build deps clean

run: build
	./build/txm

test: build
	cd build && ctest --output-on-failure -j$(JOBS)

# AddressSanitizer and UndefinedBehaviorSanitizer over every test.
sanitize: deps
	$(CMAKE_CONFIGURE)=Debug -DTXM_SANITIZE=address,undefined -B build-asan
	cmake --build build-asan -j$(JOBS)
	cd build-asan && ctest --output-on-failure -j$(JOBS)

# ThreadSanitizer over the tests that start threads (labelled "threads").
tsan: deps
	$(CMAKE_CONFIGURE)=Debug -DTXM_SANITIZE=thread -B build-tsan
	cmake --build build-tsan -j$(JOBS)
	cd build-tsan && ctest --output-on-failure -j$(JOBS) -L threads

bench: build
	./build/txm_bench

build: deps
	$(CMAKE_CONFIGURE)=Release -B build
	cmake --build build -j$(JOBS)

deps:
	@scripts/install-deps

clean:
	rm -rf build build-asan build-tsan
