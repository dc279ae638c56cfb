#!/usr/bin/env bash
# Sanitizer builds: the module and libwinsim.so built a second time with
# AddressSanitizer + UndefinedBehaviorSanitizer (whole Python suite, C++ tests)
# and a third time with ThreadSanitizer (the tests marked `threaded`).
#
#   bash tools/ci/sanitizers.sh            asan, cpp and tsan, in that order
#   bash tools/ci/sanitizers.sh asan       one or more of: asan cpp tsan
#   bash tools/ci/sanitizers.sh asan -- tests/test_monitor.py -k index
#                                          (arguments after -- go to pytest)
#
# Each build has its own virtualenv and build directory, so the ordinary
# install (tests/run.sh) is never touched. Any sanitizer report fails the run:
# ASan, LeakSanitizer and TSan write theirs to files under the build directory
# (so a report from a subprocess that a test starts cannot be swallowed), and
# those files are checked and printed after each run; UBSan findings abort
# the process on the spot (pytest captures at the sys level only, so they
# reach the log).
#
# Environment:
#   OPTICATCHER_CI_VENVS  where the virtualenvs go (default: build/venvs)
#   OPTICATCHER_CI_BUILD  where the build dirs go  (default: build/sanitizers)
#   PYTHON                interpreter for the venvs (default: python3)
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
cd "$root"
source "$root/tools/ci/venv.sh"
builds="${OPTICATCHER_CI_BUILD:-$root/build/sanitizers}"
python="${PYTHON:-python3}"

builds_wanted=()
pytest_args=(tests winsim/tests)
while [[ $# -gt 0 ]]; do
  case "$1" in
    asan | cpp | tsan) builds_wanted+=("$1") ;;
    --) shift; pytest_args=("$@"); break ;;
    *) echo "sanitizers: unknown build '$1' (asan, cpp, tsan)" >&2; exit 2 ;;
  esac
  shift
done
[[ ${#builds_wanted[@]} -gt 0 ]] || builds_wanted=(asan cpp tsan)

note() { echo "sanitizers: $*"; }

if [[ ! -f /usr/include/gtest/gtest.h ]]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libgtest-dev >/dev/null
fi

runtime() { gcc -print-file-name="$1"; }
for lib in libasan.so libubsan.so libtsan.so; do
  [[ -e "$(runtime $lib)" ]] || { echo "sanitizers: $lib missing (gcc's sanitizer runtimes)" >&2; exit 1; }
done

# -O1 keeps the stacks readable and the run fast; frame pointers for ASan's
# fast unwinder. UBSan findings abort like ASan's, so none can scroll past.
# g++ 12's flow analysis, run on instrumented code, reports members of
# std::variant alternatives as maybe-uninitialized where they are not; the
# ordinary build and the cross-check keep that warning as an error.
common_flags="-fno-omit-frame-pointer -g -O1 -Wno-maybe-uninitialized"

# g++ 12's sanitizer runtimes intercept __tls_get_addr and take a dynamic TLS
# block whose address is 16 bytes past a page boundary for one with glibc
# 2.19's header, reading the two words before it as the block's bounds. Since
# glibc 2.25 there is no such header and a malloc'd block lands there by
# chance: LeakSanitizer then scans a bogus range at exit and its tracer dies
# ("Tracer caught signal 11"), failing a process that leaked nothing. The
# blocks are heap chunks reachable from the thread's own TLS, so the leak
# check still sees through them with the interceptor off.
tls_option="intercept_tls_get_addr=0"
asan_flags="-fsanitize=address,undefined -fno-sanitize-recover=undefined $common_flags"
tsan_flags="-fsanitize=thread $common_flags"

# A virtualenv holding the build requirements (read from pyproject.toml) and
# pip; the module itself is installed by install_module.
make_venv() {
  local venv requires
  venv=$(ci_venv "$1" "$python")
  requires=$("$venv/bin/python" - <<'PY'
import tomllib
with open("pyproject.toml", "rb") as f:
    print("\n".join(tomllib.load(f)["build-system"]["requires"]))
PY
)
  mapfile -t requires <<<"$requires"
  "$venv/bin/python" -m pip install -q "${requires[@]}" numpy
}

# Builds and installs the module (and libwinsim.so next to it) with the given
# flags, unstripped, with the test extras.
install_module() {
  local venv="$1" build="$2" flags="$3" sanitizers="$4"
  "$venv/bin/python" -m pip install -q --no-build-isolation ".[test]" \
    -C build-dir="$build" -C install.strip=false \
    -C cmake.build-type=Debug \
    -C "cmake.define.CMAKE_CXX_FLAGS=$flags" \
    -C "cmake.define.CMAKE_SHARED_LINKER_FLAGS=-fsanitize=$sanitizers" \
    -C "cmake.define.CMAKE_MODULE_LINKER_FLAGS=-fsanitize=$sanitizers"
}

# Fails when a sanitizer wrote any report (main process or subprocess).
check_reports() {
  local dir="$1" name="$2"
  shopt -s nullglob
  local reports=("$dir"/report.*)
  shopt -u nullglob
  if [[ ${#reports[@]} -gt 0 ]]; then
    for report in "${reports[@]}"; do
      echo "===== $report"
      cat "$report"
    done
    echo "sanitizers: $name: ${#reports[@]} sanitizer report(s), see above" >&2
    return 1
  fi
}

fresh_report_dir() {
  rm -rf "$1"
  mkdir -p "$1"
}

run_asan() {
  local venv="$venvs/asan" build="$builds/asan" reports="$builds/asan-reports"
  local started=$SECONDS
  note "asan: building the module and libwinsim.so with ASan+UBSan"
  make_venv asan
  install_module "$venv" "$build" "$asan_flags" "address,undefined"
  fresh_report_dir "$reports"
  note "asan: running the Python tests (build took $((SECONDS - started))s)"
  # PYTHONMALLOC=malloc: every Python object is its own malloc block, so ASan
  # sees its bounds. Leak detection stays on; only the interpreter's own
  # allocations are suppressed (tools/ci/lsan.supp).
  env PYTHONMALLOC=malloc \
    LD_PRELOAD="$(runtime libasan.so) $(runtime libubsan.so)" \
    ASAN_OPTIONS="$tls_option:detect_leaks=1:halt_on_error=1:abort_on_error=0:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:log_path=$reports/report" \
    LSAN_OPTIONS="suppressions=$here/lsan.supp:print_suppressions=0" \
    UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    "$venv/bin/python" -m pytest -q -p no:cacheprovider --capture=sys "${pytest_args[@]}" ||
    { check_reports "$reports" asan || true; return 1; }
  check_reports "$reports" asan
  note "asan: passed in $((SECONDS - started))s"
}

run_cpp() {
  local build="$builds/cpp-asan" reports="$builds/cpp-asan-reports"
  local started=$SECONDS
  note "cpp: building the C++ tests with ASan+UBSan"
  cmake -S . -B "$build" -G Ninja -DOPTICATCHER_BUILD_TESTS=ON -DCMAKE_BUILD_TYPE=Debug \
    "-DCMAKE_CXX_FLAGS=$asan_flags" \
    "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined" \
    "-DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=address,undefined" >/dev/null
  cmake --build "$build" -j2
  fresh_report_dir "$reports"
  # Some of the C++ tests embed the interpreter: the same allocator and the
  # same suppression of the interpreter's own leaks as in the Python run.
  PYTHONMALLOC=malloc \
    ASAN_OPTIONS="$tls_option:detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=1:log_path=$reports/report" \
    LSAN_OPTIONS="suppressions=$here/lsan.supp:print_suppressions=0" \
    UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    ctest --test-dir "$build" --output-on-failure -j2 || { check_reports "$reports" cpp || true; return 1; }
  check_reports "$reports" cpp
  note "cpp: passed in $((SECONDS - started))s"
}

run_tsan() {
  local venv="$venvs/tsan" build="$builds/tsan" reports="$builds/tsan-reports"
  local started=$SECONDS rc=0
  note "tsan: building the module and libwinsim.so with TSan"
  make_venv tsan
  install_module "$venv" "$build" "$tsan_flags" "thread"
  fresh_report_dir "$reports"
  note "tsan: running the tests marked threaded (build took $((SECONDS - started))s)"
  # The interpreter is not instrumented; the suppressions name only
  # interpreter functions (tools/ci/tsan.supp), never the module or winsim.
  env LD_PRELOAD="$(runtime libtsan.so)" \
    TSAN_OPTIONS="$tls_option:suppressions=$here/tsan.supp:second_deadlock_stack=1:history_size=4:log_path=$reports/report" \
    "$venv/bin/python" -m pytest -q -p no:cacheprovider --capture=sys -m threaded "${pytest_args[@]}" ||
    rc=$?
  if [[ $rc -ne 0 && $rc -ne 5 ]]; then
    check_reports "$reports" tsan || true
    return 1
  fi
  [[ $rc -eq 5 ]] && note "tsan: no test is marked threaded"
  check_reports "$reports" tsan
  note "tsan: passed in $((SECONDS - started))s"
}

for build in "${builds_wanted[@]}"; do
  "run_$build"
done
