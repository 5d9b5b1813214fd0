#!/bin/sh
# One command for the archiver comparison: installs the peers, builds tvk (release preset),
# builds the corpora, times every tool and writes bench/RESULTS.md. Options: see
# `bench/run.sh --help` and bench/README.md.
set -eu
here=$(CDPATH= cd -- "$(dirname -- "$0")" && pwd)
exec python3 "$here/compare.py" "$@"
