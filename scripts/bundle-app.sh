#!/usr/bin/env bash
# Bundles a Python web application with the shell: a directory that runs as
# the application of its own, wherever it is copied to on a Debian 12 machine.
#
#   scripts/bundle-app.sh --app myproject/app --name 样本登记 --out /opt/Samples \
#       [--icon myproject/icon.svg] [--requirements myproject/requirements.txt] \
#       [--wheels myproject/wheels] [--system-site-packages] [--version 2.1] \
#       [--info KEY=JSON] [--shell build/Lumivant] [--python /usr/bin/python3]
#   /opt/Samples/Lumivant
#
#   --app DIR        the package "app": a directory named app holding launcher.py
#                    (BACKENDS.md says what its command line must do)
#   --name NAME      the application's name, under which the desktop shows its
#                    notifications
#   --out DIR        the new bundle. A bundle already there is replaced once the
#                    new one is complete; any other existing path is refused.
#   --icon FILE      the application's icon, an SVG (default: the shell's own)
#   --requirements FILE   what pip installs beside the app (a requirements file)
#   --wheels DIR     install them from this folder of wheels only, without asking
#                    a package index (pip --no-index --find-links DIR)
#   --system-site-packages   let the app import Debian's own python3-* packages
#                    (they then come from the system and change with its updates)
#   --version TEXT   the application's own version, kept as CFBundleVersion
#   --takes-socket   the app serves on the listening socket the shell hands it
#                    (descriptor 3, LISTEN_FDS; see BACKENDS.md); without it the
#                    app binds its own port
#   --info KEY=JSON  one more member of Info.json, JSON-valued; may be repeated
#   --shell DIR      the built shell (default: build/Lumivant of this tree)
#   --python PATH    the interpreter the bundle's runs on (default: /usr/bin/python3)
#
# The bundle:
#   Lumivant                  the shell
#   Info.json                 CFBundleName (the name), CFBundleShortVersionString
#                             (the shell's version, which its self-update compares),
#                             CFBundleVersion (the app's), and the --info members
#   Resources/lumivant.svg    the icon, and its PNG renderings the windows show
#   Resources/web-process/    the shell's module for the engine's web process
#   Resources/python/         a virtual environment over --python holding app
#                             and its requirements, compiled to checked bytecode
set -euo pipefail

usage() {
  sed -n '2,/^set -euo/p' "$0" | sed '$d' | sed 's/^# \{0,1\}//' >&2
  exit 2
}
fail() {
  echo "bundle-app: $*" >&2
  exit 1
}

here=$(cd "$(dirname "$0")/.." && pwd)
app="" name="" out="" icon="" requirements="" wheels="" system_site="" version=""
shell="$here/build/Lumivant"
python=/usr/bin/python3
infos=()
while [ $# -gt 0 ]; do
  case "$1" in
    --app) app=${2:?}; shift 2 ;;
    --name) name=${2:?}; shift 2 ;;
    --out) out=${2:?}; shift 2 ;;
    --icon) icon=${2:?}; shift 2 ;;
    --requirements) requirements=${2:?}; shift 2 ;;
    --wheels) wheels=${2:?}; shift 2 ;;
    --system-site-packages) system_site=--system-site-packages; shift ;;
    --version) version=${2:?}; shift 2 ;;
    --info) infos+=("${2:?}"); shift 2 ;;
    --takes-socket) infos+=("LumivantBackendTakesSocket=true"); shift ;;
    --shell) shell=${2:?}; shift 2 ;;
    --python) python=${2:?}; shift 2 ;;
    -h | --help) usage ;;
    *) echo "bundle-app: unknown option $1" >&2; usage ;;
  esac
done
[ -n "$app" ] && [ -n "$name" ] && [ -n "$out" ] || usage

[ "$(basename "$(cd "$app" 2>/dev/null && pwd)")" = app ] && [ -f "$app/launcher.py" ] ||
  fail "$app is not a package directory named app with a launcher.py"
[ -x "$shell/Lumivant" ] && [ -f "$shell/Info.json" ] ||
  fail "no built shell at $shell (run ./scripts/build.sh, or give --shell)"
[ -z "$icon" ] || [ -f "$icon" ] || fail "no icon at $icon"
[ -z "$requirements" ] || [ -f "$requirements" ] || fail "no requirements file at $requirements"
[ -z "$wheels" ] || [ -d "$wheels" ] || fail "no folder of wheels at $wheels"
[ -n "$wheels" ] && [ -z "$requirements" ] && fail "--wheels needs --requirements"
"$python" -c 'import sys; sys.exit(sys.version_info < (3, 9))' 2>/dev/null ||
  fail "$python is not a Python 3.9 or later"
if [ -e "$out" ] && ! { [ -f "$out/Info.json" ] && [ -f "$out/Lumivant" ]; }; then
  fail "$out exists and is not a bundle; not replacing it"
fi

# Built beside the destination and put in place whole, so that a failure
# leaves the previous bundle as it was.
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")
new=$(mktemp -d "$out.new.XXXXXX")
trap 'rm -rf "$new"' EXIT
mkdir -p "$new/Resources"

cp "$shell/Lumivant" "$new/"
if [ -d "$shell/Resources/web-process" ]; then
  cp -R "$shell/Resources/web-process" "$new/Resources/"
fi
cp "${icon:-$shell/Resources/lumivant.svg}" "$new/Resources/lumivant.svg"
if [ -z "$icon" ]; then
  cp "$shell"/Resources/lumivant-*.png "$new/Resources/" 2>/dev/null || true
elif command -v rsvg-convert >/dev/null; then
  # The windows show these renderings; without them they keep a generic icon.
  for size in 16 24 32 48 64 128 256; do
    rsvg-convert --width=$size --height=$size --keep-aspect-ratio \
      --output="$new/Resources/lumivant-$size.png" "$icon"
  done
fi

"$python" - "$shell/Info.json" "$new/Info.json" "$name" "$version" ${infos[@]+"${infos[@]}"} <<'EOF'
import json, sys
shell_info, new_info, name, version, *extra = sys.argv[1:]
with open(shell_info, encoding="utf-8") as f:
    info = json.load(f)
info["CFBundleName"] = name
# The sample backend's bundle takes the shell's socket; an app says so itself.
info.pop("LumivantBackendTakesSocket", None)
if version:
    info["CFBundleVersion"] = version
for member in extra:
    key, sep, value = member.partition("=")
    if not sep or not key:
        sys.exit(f"bundle-app: --info {member} is not KEY=JSON")
    try:
        info[key] = json.loads(value)
    except ValueError:
        sys.exit(f"bundle-app: the value of --info {key} is not JSON: {value}")
with open(new_info, "w", encoding="utf-8") as f:
    json.dump(info, f, ensure_ascii=False, indent=2)
    f.write("\n")
EOF

env="$new/Resources/python"
"$python" -m venv $system_site --without-pip "$env"
# Nothing runs the environment's activation scripts, which name the build's path.
rm -f "$env"/bin/activate* "$env"/bin/Activate*
site=$("$env/bin/python3" -c 'import sysconfig; print(sysconfig.get_path("purelib"))')
if [ -n "$requirements" ]; then
  # The system's pip installs into the environment, which needs no pip of its own.
  index=()
  [ -z "$wheels" ] || index=(--no-index --find-links "$wheels")
  "$python" -m pip --python "$env/bin/python3" install --quiet --disable-pip-version-check \
    --no-warn-script-location --no-compile ${index[@]+"${index[@]}"} -r "$requirements"
fi
# Copied without the bytecode of the author's own runs.
(cd "$app/.." && tar --exclude=__pycache__ --exclude='*.pyc' -cf - app) | (cd "$site" && tar -xf -)

# The launcher must import with what the bundle holds: a missing requirement
# shows here, not on the user's first launch.
(cd / && "$env/bin/python3" -I -c 'import app.launcher') ||
  fail "app.launcher does not import in the bundle's environment (a requirement missing?)"
# Bytecode now, checked against the sources, so that no launch compiles it again.
"$env/bin/python3" -m compileall -q --invalidation-mode checked-hash "$site" >/dev/null

# mktemp made the folder for its maker alone; the bundle is for everybody
# who may run it (an install under /opt, say).
chmod 0755 "$new"
if [ -e "$out" ]; then
  old=$(mktemp -d "$out.old.XXXXXX")
  mv "$out" "$old/bundle"
  mv "$new" "$out"
  rm -rf "$old"
else
  mv "$new" "$out"
fi
trap - EXIT
echo "bundle-app: $out/Lumivant runs $name"
