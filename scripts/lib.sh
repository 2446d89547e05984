# lib.sh - shared by scripts/test and scripts/sample (sourced, not run).

QM_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
QM_JOBS=${QM_JOBS:-2}

qm_say() { printf '\n==> %s\n' "$*"; }

# Installs the Debian packages that are missing, when running as root.
# Without root it only names them: the build then says what is lacking.
qm_install_packages() {
    local missing=() pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "missing packages (run as root to install them): ${missing[*]}" >&2
        return 0
    fi
    qm_say "installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q </dev/null &&
        apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
}

# What every build needs.
QM_BASE_PACKAGES=(cmake g++ make binutils googletest libssl-dev zlib1g-dev)
