#!/bin/sh
# Makes a bundle of the shell that runs Jupyter Notebook as its backend.
#
#   examples/jupyter/make-bundle.sh build/Lumivant /tmp/LumivantJupyter
#   /tmp/LumivantJupyter/Lumivant
#
# The bundle's interpreter is a virtual environment over Debian's python3 that
# sees the system's packages (--system-site-packages), so that Debian's
# jupyter-notebook and python3-ipykernel serve it; the launcher package "app"
# is copied into it, so the bundle does not depend on this source tree.
set -eu
if [ $# -ne 2 ]; then
  echo "usage: $0 BUILT-BUNDLE NEW-BUNDLE" >&2
  exit 2
fi
built=$1
bundle=$2
here=$(cd "$(dirname "$0")" && pwd)

/usr/bin/python3 -c 'import notebook, ipykernel' 2>/dev/null || {
  echo "$0: Debian's jupyter-notebook and python3-ipykernel are not installed" >&2
  exit 1
}
mkdir -p "$bundle/Resources"
cp "$built/Lumivant" "$bundle/"
# The launcher takes the listening socket the shell holds for it.
/usr/bin/python3 - "$built/Info.json" "$bundle/Info.json" <<'EOF'
import json, sys
with open(sys.argv[1], encoding="utf-8") as built:
    info = json.load(built)
info["LumivantBackendTakesSocket"] = True
with open(sys.argv[2], "w", encoding="utf-8") as bundle:
    json.dump(info, bundle, ensure_ascii=False, indent=2)
    bundle.write("\n")
EOF
cp "$built/Resources/lumivant.svg" "$bundle/Resources/"
rm -rf "$bundle/Resources/python"
/usr/bin/python3 -m venv --system-site-packages --without-pip "$bundle/Resources/python"
site=$("$bundle/Resources/python/bin/python3" -c 'import sysconfig; print(sysconfig.get_path("purelib"))')
cp -R "$here/app" "$site/app"
# Bytecode now, checked against the sources, so no launch compiles it again.
"$bundle/Resources/python/bin/python3" -m compileall -q --invalidation-mode checked-hash "$site/app"
