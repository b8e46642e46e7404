# QMSetup: two native builds (release tools; sanitizer tests and fuzz targets) and one i686
# MinGW-w64 cross build whose tests run under Wine in a prefix kept inside build/.
BUILD      := build
NATIVE     := $(BUILD)/native
ASAN       := $(BUILD)/asan
WIN        := $(BUILD)/win32
DIST       := dist
export WINEPREFIX := $(abspath $(BUILD))/wineprefix
export WINEDEBUG  := -all
export WINEDLLOVERRIDES := mscoree,mshtml=;winedbg.exe=d
FUZZ_SECONDS ?= 60
JOBS       ?= 2

.PHONY: all setup native asan win dist prefix test test-native test-win demo fuzz bench clean

all: dist

setup:
	@sh tools/setup.sh

native: setup
	cmake -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=Release -DQM_TESTS=OFF >/dev/null
	cmake --build $(NATIVE) -j$(JOBS)

asan: setup
	cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DQM_SANITIZE=ON -DQM_FUZZ=ON >/dev/null
	cmake --build $(ASAN) -j$(JOBS)

win: native
	cmake -S . -B $(WIN) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release \
	  -DQMPACK_EXECUTABLE=$(abspath $(NATIVE))/bin/qmpack >/dev/null
	cmake --build $(WIN) -j$(JOBS)

dist: native win
	mkdir -p $(DIST)
	cp $(WIN)/bin/Inst_kx2.dll $(WIN)/bin/QMSetup.dll $(WIN)/bin/KX2.dat $(WIN)/bin/kxhost.exe $(NATIVE)/bin/qmpack $(DIST)/
	sh tools/check-imports.sh $(DIST)/Inst_kx2.dll $(DIST)/QMSetup.dll $(DIST)/kxhost.exe

# The test prefix: made once, then reused (a new wineserver session acts as a restart).
prefix: setup
	@sh tools/make-prefix.sh

test: dist asan prefix
	cd $(ASAN) && ctest --output-on-failure
	wineserver -p 2>/dev/null || true  # one persistent server for all Wine tests
	cd $(WIN) && ctest --output-on-failure; rc=$$?; wineserver -k; exit $$rc

demo: dist prefix
	sh tools/demo.sh $(DIST)

fuzz: asan
	sh tools/run-fuzz.sh $(ASAN)/bin $(FUZZ_SECONDS)

bench: native
	sh bench/run.sh $(NATIVE)/bin

clean:
	rm -rf $(BUILD) $(DIST)
