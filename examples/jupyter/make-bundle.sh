#!/bin/sh
# Makes a bundle of the shell that runs Jupyter Notebook as its backend.
#
#   examples/jupyter/make-bundle.sh build/Lumivant /tmp/LumivantJupyter
#   /tmp/LumivantJupyter/Lumivant
#
# scripts/bundle-app.sh does the work. The bundle's interpreter sees the
# system's packages (--system-site-packages), so that Debian's
# jupyter-notebook and python3-ipykernel serve it; the launcher package "app"
# is copied into it, so the bundle does not depend on this source tree.
set -eu
if [ $# -ne 2 ]; then
  echo "usage: $0 BUILT-BUNDLE NEW-BUNDLE" >&2
  exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)

/usr/bin/python3 -c 'import notebook, ipykernel' 2>/dev/null || {
  echo "$0: Debian's jupyter-notebook and python3-ipykernel are not installed" >&2
  exit 1
}
exec "$here/../../scripts/bundle-app.sh" --shell "$1" --out "$2" --app "$here/app" \
  --name "Jupyter Notebook" --takes-socket --system-site-packages --python /usr/bin/python3
