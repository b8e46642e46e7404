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

# The three builds are the presets of CMakePresets.json (binary folders build/native, build/asan,
# build/win32); these targets only call them.
cmake_configure = cmake --preset $(1) $(2) >/dev/null
cmake_build = cmake --build --preset $(1) -j$(JOBS) $(2)

.PHONY: all setup native asan win dist dist-files imports-doc prefix test test-long demo fuzz fuzz-long bench fresh-check \
  repro-check clean

all: dist

setup:
	@sh tools/setup.sh

native: setup
	@$(call cmake_configure,native)
	@$(call cmake_build,native)

asan: setup
	@$(call cmake_configure,asan)
	@$(call cmake_build,asan)

win: native
	@$(call cmake_configure,win32,-DQM_TESTS=$(WIN_TESTS))
	@$(call cmake_build,win32)

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
	ctest --preset asan
	@wineserver -p 2>/dev/null || true  # one persistent server for all Wine tests
	@ctest --preset win32; rc=$$?; wineserver -k; exit $$rc

# The long fault tests: a kill at each point of the copy chapter and QM_CYCLES install and removal
# cycles of two products (default 20; QM_CYCLES=200 takes about 40 minutes). test runs a short
# version of each.
test-long: dist prefix
	@wineserver -p 2>/dev/null || true
	@ctest --preset win32-long; rc=$$?; wineserver -k; exit $$rc

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
	@$(call cmake_build,native,--target bench_programs)
	@$(call cmake_build,win32,--target bench_programs)
	@sh bench/run.sh

# Two clean builds of HEAD in two folders must give byte-identical dist/ files.
repro-check:
	@sh tools/repro-check.sh

# The two README commands on throw-away minimal Debian 12 roots (downloads packages; not in test).
fresh-check:
	@sh tools/fresh-check.sh

clean:
	rm -rf $(BUILD) $(DIST)
