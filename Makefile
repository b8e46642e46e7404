# QMSetup: two native builds (release tools; sanitizer tests and fuzz targets) and one i686
# MinGW-w64 cross build whose tests run under Wine in a prefix kept inside build/.
# On a fresh machine use ./qm (it installs make and everything else first); these targets are for
# developers who have the prerequisites.
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
WIN_TESTS  ?= ON
MAKEFLAGS  += --no-print-directory

# Every program and library we ship: the dist files and the payload components (each group lists
# its binaries in components/GROUP/shipped.lst).
COMPONENT_PE := $(addprefix $(WIN)/bin/,$(shell cat components/*/shipped.lst 2>/dev/null))
SHIPPED_PE := $(DIST)/Inst_kx2.dll $(DIST)/QMSetup.dll $(DIST)/kxhost.exe $(COMPONENT_PE)
CHECK_IMPORTS := python3 tools/check-imports.py tools/imports/allowed.tsv tools/imports/IMPORTS.md

# cmake_configure DIR ARGS: configure once with ARGS; later runs only refresh (a toolchain file
# given again to an existing build would draw a warning).
cmake_configure = if [ -f $(1)/CMakeCache.txt ]; then cmake $(1) >/dev/null; else cmake -S . -B $(1) $(2) >/dev/null; fi

.PHONY: all setup native asan win dist dist-files imports-doc prefix test test-long demo fuzz fuzz-long bench fresh-check \
  repro-check clean

all: dist

setup:
	@sh tools/setup.sh

native: setup
	@$(call cmake_configure,$(NATIVE),-DCMAKE_BUILD_TYPE=Release -DQM_TESTS=OFF)
	@cmake --build $(NATIVE) -j$(JOBS)

asan: setup
	@$(call cmake_configure,$(ASAN),-DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DQM_SANITIZE=ON -DQM_FUZZ=ON)
	@cmake --build $(ASAN) -j$(JOBS)

win: native
	@$(call cmake_configure,$(WIN),-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release \
	  -DQMPACK_EXECUTABLE=$(abspath $(NATIVE))/bin/qmpack -DQM_TESTS=$(WIN_TESTS))
	@cmake --build $(WIN) -j$(JOBS)

dist-files:
	@mkdir -p $(DIST)
	@cp $(WIN)/bin/Inst_kx2.dll $(WIN)/bin/QMSetup.dll $(WIN)/bin/KX2.dat $(WIN)/bin/kxhost.exe $(NATIVE)/bin/qmpack \
	  $(WIN)/bin/QMSetup-runtime.msi $(DIST)/

dist: native win dist-files
	@$(CHECK_IMPORTS) $(SHIPPED_PE)
	@$(NATIVE)/bin/qmpack verify $(DIST)/KX2.dat >/dev/null

# After a deliberate change of what the binaries import: rewrite the table beside the list.
imports-doc: native win dist-files
	@$(CHECK_IMPORTS) --write-doc $(SHIPPED_PE)

# The test prefix: made once, then reused (a new wineserver session acts as a restart).
prefix: setup
	@sh tools/make-prefix.sh

test: dist asan prefix
	cd $(ASAN) && ctest --output-on-failure
	@wineserver -p 2>/dev/null || true  # one persistent server for all Wine tests
	@cd $(WIN) && ctest --output-on-failure -LE long; rc=$$?; wineserver -k; exit $$rc

# The long fault tests: a kill at each point of the copy chapter and QM_CYCLES install and removal
# cycles of two products (default 20; QM_CYCLES=200 takes about 40 minutes). test runs a short
# version of each.
test-long: dist prefix
	@wineserver -p 2>/dev/null || true
	@cd $(WIN) && ctest --output-on-failure -L long; rc=$$?; wineserver -k; exit $$rc

demo: dist prefix
	@sh tools/demo.sh $(DIST)

fuzz: asan
	sh tools/run-fuzz.sh $(ASAN)/bin $(FUZZ_SECONDS)

# Each target for 30 minutes, as before a release.
fuzz-long:
	@$(MAKE) fuzz FUZZ_SECONDS=1800

# The benchmarks (about 20 minutes; results and chart into bench/). BENCH_SCALE=0.3 for a quick look.
bench: dist
	@sh tools/setup.sh bench
	@cmake --build $(NATIVE) --target bench_programs -j$(JOBS)
	@cmake --build $(WIN) --target bench_programs -j$(JOBS)
	@sh bench/run.sh

# Two clean builds of HEAD in two folders must give byte-identical dist/ files.
repro-check:
	@sh tools/repro-check.sh

# The two README commands on throw-away minimal Debian 12 roots (downloads packages; not in test).
fresh-check:
	@sh tools/fresh-check.sh

clean:
	rm -rf $(BUILD) $(DIST)
