# shellcheck shell=bash
# The virtualenvs of the CI scripts, which source this file:
#   venvs                            where they go: OPTICATCHER_CI_VENVS, or build/venvs
#                                    of the checkout
#   ci_venv NAME [INTERPRETER]       prints $venvs/NAME, made first with INTERPRETER
#                                    (default: $PYTHON or python3) if it is not there yet
#   ci_fresh_venv NAME [INTERPRETER] the same, made anew each time, for installs that must
#                                    not meet an earlier run's packages
venvs="${OPTICATCHER_CI_VENVS:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/build/venvs}"

ci_venv() {
  local venv="$venvs/$1" interpreter="${2:-${PYTHON:-python3}}"
  [[ -x $venv/bin/python ]] || "$interpreter" -m venv "$venv" >&2
  printf '%s\n' "$venv"
}

ci_fresh_venv() {
  rm -rf "${venvs:?}/$1"
  ci_venv "$@"
}
