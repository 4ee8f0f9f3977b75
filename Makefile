# escape-setup: `make run` and `make test` do everything on a fresh Debian 12
# machine (as root, or with password-less sudo).

BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
WERROR     ?= $(if $(CI),ON,OFF)
CMAKE_ARGS ?=

# ccache, when it is there (deps installs it), keeps compiled objects across
# build folders and fresh clones on the same machine: paths below the
# checkout are hashed relative to it.
ifneq ($(shell command -v ccache 2>/dev/null),)
CMAKE_ARGS += -DCMAKE_CXX_COMPILER_LAUNCHER=ccache
export CCACHE_BASEDIR := $(CURDIR)
export CCACHE_NOHASHDIR := 1
endif

XVFB := xvfb-run -a -s "-screen 0 1280x1024x24"
export QT_QPA_PLATFORM ?= xcb
export LIBGL_ALWAYS_SOFTWARE := 1
ASAN_ENV := ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1 \
            LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
            UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

.PHONY: all deps build run test test-release test-asan fresh-check bench fuzz validate clean format

all: build

deps:
	@bash scripts/install-deps.sh

# Ninja when it is there (deps installs it): an up-to-date build is checked
# in a fraction of a second, where Unix Makefiles take seconds, so that
# `make run` reaches the dialog fast.
$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) $$(command -v ninja >/dev/null && echo -G Ninja) -DCMAKE_BUILD_TYPE=Release -DESCAPE_WERROR=$(WERROR) $(CMAKE_ARGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# The user programs: the dialog, the runtime and the headless project builder.
USER_PROGRAMS := escape-setup mvnrt escape-build

# With a display: the dialog, started from the repository root so that the
# templates in unchanged/ are found ("Run Morvanta" opens the runtime's
# window). Without one: the whole road headless, the default scenario built
# with escape-build and run with mvnrt, which prints its report and where the
# results are. Only the user programs are built here, not the tests.
run: deps $(BUILD)/CMakeCache.txt
	@cmake --build $(BUILD) -j $(JOBS) --target $(USER_PROGRAMS)
	@if [ -n "$$DISPLAY" ] || [ -n "$$WAYLAND_DISPLAY" ]; then \
	  ./$(BUILD)/bin/escape-setup; \
	else \
	  echo "No display found: the default scenario, built with escape-build and run with mvnrt."; \
	  ./$(BUILD)/bin/escape-build --dir . && ./$(BUILD)/bin/mvnrt; \
	fi

test: test-release test-asan

test-release: build
	cd $(BUILD) && $(XVFB) ctest --output-on-failure -j $(JOBS) --timeout 600

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DESCAPE_SANITIZE=ON \
	      -DESCAPE_BUILD_BENCH=OFF -DESCAPE_WERROR=$(WERROR) $(CMAKE_ARGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && $(ASAN_ENV) $(XVFB) bash $(CURDIR)/scripts/ctest-sanitized.sh \
	      --output-on-failure -j $(JOBS) --timeout 900 -LE no-sanitize

# make run from a fresh clone on a minimal Debian 12 root (debootstrap,
# kept as a tarball between checks), and the default scenario's results
# checked there. Needs root; CI runs it after make test.
fresh-check: deps
	@bash scripts/fresh-machine-check.sh

bench: build
	@bash bench/run-all.sh $(BUILD)

# The model against published criteria: runs every scenario of validation/
# with mvnrt (a few minutes) and writes docs/validation.md with its figures.
# Exits non-zero when a criterion fails.
validate: build
	/usr/bin/python3 validation/validate.py --mvnrt $(BUILD)/bin/mvnrt --out docs

fuzz: deps
	@bash fuzz/run.sh

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) build-fuzz

format:
	find src tests bench fuzz -name '*.cpp' -o -name '*.h' | xargs clang-format -i
