#!/usr/bin/env bash
# Installs the Debian packages the project needs (run as root).
#   .ci/install-packages.sh            everything: tests, benchmarks, Octave,
#                                      sanitizers and fuzzers, the example,
#                                      the Python package and its tests
#   .ci/install-packages.sh --plugins  only what the plug-ins and mexrun need
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive

plugins=(g++ cmake make liblapack-dev libboost-dev libqd-dev)
everything=("${plugins[@]}" libgtest-dev libgmock-dev libbenchmark-dev valgrind
            octave octave-dev gnuplot-nox clang libclang-rt-14-dev python3-mpmath
            python3-dev pybind11-dev python3-pybind11 python3-numpy python3-pytest python3-matplotlib
            python3-pip python3-setuptools python3-wheel python3-venv)

packages=("${everything[@]}")
if [[ "${1:-}" == "--plugins" ]]; then
  packages=("${plugins[@]}")
fi
# Nothing to do (and no root needed) when everything is there already.
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
if (( ${#missing[@]} )); then
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
