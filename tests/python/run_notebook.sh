#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Executes a notebook headless in its own folder, its output kept in a
# scratch folder, and fails if a cell raises. Usage: run_notebook.sh PYTHON NOTEBOOK
# Exit status 77 (skipped) when nbconvert or the kernel is not installed.
set -euo pipefail
python="$1"
notebook="$2"
if ! "$python" -c 'import nbconvert, ipykernel, matplotlib' 2>/dev/null; then
    echo "skipped: the notebook needs python3-nbconvert, python3-ipykernel and python3-matplotlib"
    exit 77
fi
scratch="$(mktemp -d "${TMPDIR:-/tmp}/duolink-notebook.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
export MPLCONFIGDIR="$scratch/mpl" JUPYTER_RUNTIME_DIR="$scratch/runtime" IPYTHONDIR="$scratch/ipython"
"$python" -m nbconvert --to notebook --execute --ExecutePreprocessor.timeout=100 \
    --ExecutePreprocessor.kernel_name=python3 --output-dir "$scratch" --output executed "$notebook"
