#!/usr/bin/env bash
# The engine (project/, install/, boot/, app/build/ but for the *_dlg and *_page windows)
# must never include a GUI header.
cd "$(dirname "$0")/.."
hits=$(grep -rnE '#\s*include\s*[<"]wx/' project install boot app/build 2>/dev/null | grep -vE '_(dlg|page)\.(cpp|h):')
if [ -n "$hits" ]; then
  echo "GUI headers in the engine:"; echo "$hits"; exit 1
fi
echo "engine is free of GUI headers"
