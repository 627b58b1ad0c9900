# The project's commands. Each one installs what is missing first.
JOBS ?= $(shell nproc)
CMAKE_CONFIGURE = cmake -S . -DCMAKE_BUILD_TYPE

.PHONY: run test sanitize tsan bench build release-data deps clean

run: build
	./build/txm

test: build
	cd build && ctest --output-on-failure -j$(JOBS)

# The sanitizer builds use the release build's data rather than generate it.
DATA_FROM = -DTXM_DATA_FROM=$(CURDIR)/build/data

release-data: deps
	$(CMAKE_CONFIGURE)=Release -B build
	cmake --build build -j$(JOBS) --target txm_data

# AddressSanitizer and UndefinedBehaviorSanitizer over every test.
sanitize: release-data
	$(CMAKE_CONFIGURE)=Debug -DTXM_SANITIZE=address,undefined $(DATA_FROM) -B build-asan
	cmake --build build-asan -j$(JOBS)
	cd build-asan && ctest --output-on-failure -j$(JOBS)

# ThreadSanitizer over the tests that start threads (labelled "threads").
tsan: release-data
	$(CMAKE_CONFIGURE)=Debug -DTXM_SANITIZE=thread $(DATA_FROM) -B build-tsan
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
