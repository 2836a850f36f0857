# Shared by scripts/run and scripts/test: installing what is missing and building.
# Sourced, not run.

HG_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

hg_say() { printf '\033[1m==> %s\033[0m\n' "$*"; }

hg_as_root() {
    if [ "$(id -u)" = 0 ]; then "$@"
    elif command -v sudo >/dev/null; then sudo "$@"
    else echo "Hushglass setup: installing packages needs root or sudo: $*" >&2; return 1
    fi
}

# Installs the Debian packages of scripts/packages.txt (and any given as
# arguments) that are not installed yet. Safe to run again.
hg_install_packages() {
    local wanted missing=()
    wanted=$(grep -vE '^\s*(#|$)' "$HG_ROOT/scripts/packages.txt")
    for pkg in $wanted "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    hg_say "Installing ${#missing[@]} Debian packages: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    hg_as_root apt-get update -qq
    hg_as_root apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# hg_build DIR [cmake options...] -- [targets...]
hg_build() {
    local dir="$1"; shift
    local opts=() targets=()
    while [ $# -gt 0 ] && [ "$1" != "--" ]; do opts+=("$1"); shift; done
    [ "${1:-}" = "--" ] && shift
    targets=("$@")
    cmake -S "$HG_ROOT" -B "$dir" -G Ninja "${opts[@]}" >/dev/null
    ninja -C "$dir" "${targets[@]}"
}
