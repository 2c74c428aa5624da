#!/usr/bin/env bash
# mypy --strict (Debian's) on the package and on the Python examples of the README's
# "From Python" section, each block a module of its own.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 - "$here/../README.md" "$work" <<'PY'
import sys
section = open(sys.argv[1], encoding="utf-8").read().split("## From Python", 1)[1].split("\n## ", 1)[0]
for k, block in enumerate(section.split("```python\n")[1:]):
    open("%s/readme_example_%d.py" % (sys.argv[2], k), "w", encoding="utf-8").write(block.split("```", 1)[0])
PY
cd "$here"
MYPYPATH=$here /usr/bin/python3 -m mypy --strict --no-incremental --cache-dir=/dev/null zelusb "$work"/readme_example_*.py
