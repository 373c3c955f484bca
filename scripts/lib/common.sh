# Shared by the README's commands: install what is missing, configure, build.

FPCD_PACKAGES=(cmake g++ make pkg-config qt6-base-dev libqt6sql6-sqlite qt6-positioning-dev
               libqt6positioning6-plugins libglib2.0-dev dbus-daemon sqlite3 libsqlite3-dev python3
               python3-dbusmock python3-pil modemmanager-dev wpasupplicant systemd
               qt6-declarative-dev qml6-module-qtquick qml6-module-qtquick-controls qml6-module-qtquick-templates
               qml6-module-qtquick-layouts qml6-module-qtquick-window qml6-module-qtquick-shapes
               qml6-module-qtqml-workerscript qml6-module-qttest qt6-qpa-plugins fonts-dejavu-core xvfb xauth)
# What scripts/package needs on top: the Debian build and check tools.
FPCD_PACKAGE_TOOLS=(debhelper dpkg-dev lintian fakeroot)

fpcd_ensure_packages() {
    local missing=()
    for pkg in "${FPCD_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing missing packages: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -q
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# fpcd_build <build-dir> [cmake args...]
fpcd_build() {
    local dir=$1; shift
    cmake -S . -B "$dir" "$@" >/dev/null
    cmake --build "$dir" -j"$(nproc)"
}
