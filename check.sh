#!/usr/bin/env bash
# Builds everything and runs every test: once in an ordinary build, once under
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")"
jobs=$(nproc)

# What the build and the tests need, installed where missing (Debian packages).
need=()
command -v g++ > /dev/null || need+=(g++)
command -v cmake > /dev/null || need+=(cmake make)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
[ -f /usr/include/libdeflate.h ] || need+=(libdeflate-dev)
[ -f /usr/include/zlib.h ] || need+=(zlib1g-dev)
[ -x /usr/bin/convert ] || need+=(imagemagick)
command -v mformat > /dev/null || need+=(mtools)
command -v setfacl > /dev/null || need+=(acl)
command -v floptool > /dev/null || need+=(mame-tools)
command -v groff > /dev/null || need+=(groff)
command -v man > /dev/null || need+=(man-db)
/usr/bin/python3 -c 'import PIL' 2> /dev/null || need+=(python3 python3-pil)
# tests/fuzz/run.sh: clang with the libFuzzer runtime.
command -v clang++ > /dev/null || need+=(clang)
compgen -G '/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a' > /dev/null || need+=(libclang-rt-14-dev)
[ -f /usr/include/png.h ] || need+=(libpng-dev)
command -v npm > /dev/null || need+=(npm)
[ -x /usr/bin/chromium ] || need+=(chromium)
if [ ${#need[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${need[@]}" > /dev/null
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZK_TESTS=ON
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DZK_SANITIZE=ON -DZK_TESTS=ON
cmake --build build-sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-sanitize --output-on-failure -j "$jobs"
