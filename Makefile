# Every target first installs what it needs (scripts/install-deps does nothing
# when everything is present), then wraps the CMake presets.
.PHONY: deps build host win32 test demo bench clean

deps:
	@bash scripts/install-deps

host: deps
	cmake --preset host >/dev/null
	cmake --build --preset host -- --no-print-directory

win32: deps
	cmake --preset win32 >/dev/null
	cmake --build --preset win32 -- --no-print-directory

build: host win32

test: build
	ctest --preset host

# make bench [CORPUS=DIR]: Quorvex against gzip, zip, lha and xz, side by side.
CORPUS ?= ../shared/corpus
bench: host
	@bash scripts/install-deps bench
	bash bench/run-bench.sh $(CORPUS)

clean:
	rm -rf build
