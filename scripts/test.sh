#!/usr/bin/env bash
# Installs what the tests need, builds everything, starts the services the tests use and runs every
# test through CTest.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/install-packages.sh"
bash "$root/scripts/build.sh" -DZRK_BUILD_TESTS=ON -DZRK_BUILD_BENCH=ON
bash "$root/scripts/start-services.sh"
trap 'bash "$root/scripts/start-services.sh" stop' EXIT
source "$root/scripts/runtime-env.sh"
source "$root/scripts/sane-env.sh"
cd "$root/build"
# The print tests must find the PDF printer started above.
export ZRK_REQUIRE_PRINTER=1
# ... and the scanner test the scanner server.
export ZRK_REQUIRE_SANED=1
ctest --output-on-failure --timeout 900 -j2
