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
	rm -rf $(BUILD)
