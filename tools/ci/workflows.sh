#!/usr/bin/env bash
# Lints the GitHub Actions workflows (.github/workflows/*.yml), which cannot
# run here: check-jsonschema against its vendored copy of the workflow schema,
# and zizmor's offline audits (unpinned actions, template injection,
# credentials left in the checkout, excessive permissions, ...). Both work
# without the network.
#
#   bash tools/ci/workflows.sh
#
# Environment:
#   OPTICATCHER_CI_VENVS   where the tools' virtualenv goes (default: build/venvs)
#   PYTHON                 interpreter for the virtualenv (default: python3)
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
cd "$root"
source "$root/tools/ci/venv.sh"
venv=$(ci_venv workflows)
"$venv/bin/python" -m pip install -q check-jsonschema zizmor

workflows=(.github/workflows/*.yml)
[[ -f ${workflows[0]} ]] || { echo "workflows: no .github/workflows/*.yml" >&2; exit 1; }
"$venv/bin/check-jsonschema" --builtin-schema vendor.github-workflows "${workflows[@]}"
"$venv/bin/zizmor" --offline --no-progress "${workflows[@]}"
echo "workflows: OK: ${workflows[*]} ($("$venv/bin/zizmor" --version))"
