"""A DESTDIR install gives the expected tree: the daemon's files in its
component, the developer tools in theirs; the unit starts the installed
binary as the service user; the policy parses on a real bus; sysusers and
systemd's verify accept what was installed."""
import json
import os
import shutil
import subprocess
import sys
import tempfile

from fpcd_testlib import PrivateBus, fail

build_dir, facts_file = sys.argv[1], sys.argv[2]
with open(facts_file) as f:
    facts = json.load(f)

daemon_files = [
    "{sbindir}/vomu-fpcd", "{bindir}/fpcctl",
    "{datadir}/dbus-1/system.d/com.vexlo.location.fpcd.conf",
    "{datadir}/dbus-1/system-services/com.vexlo.location.fpcd.service",
    "{datadir}/dbus-1/interfaces/com.vexlo.location.fpcd.xml",
    "{unitdir}/vomu-fpcd.service", "{sysusersdir}/vomu-fpcd.conf", "{tmpfilesdir}/vomu-fpcd.conf",
    "{datadir}/vomu-fpc/vomu-fpc.cfg", "{datadir}/polkit-1/rules.d/50-vomu-fpcd.rules",
    "{datadir}/bash-completion/completions/fpcctl", "{datadir}/zsh/vendor-completions/_fpcctl",
    "{docdir}/README.md",
    "{mandir}/man8/vomu-fpcd.8", "{mandir}/man1/fpcctl.1", "{mandir}/man5/vomu-fpc.cfg.5",
]
devtools_files = ["{bindir}/fpcsim", "{bindir}/fprdecode", "{mandir}/man1/fpcsim.1", "{mandir}/man1/fprdecode.1"]
app_files = ["{bindir}/vomu-fpc-app", "{datadir}/applications/vomu-fpc-app.desktop",
             "{datadir}/icons/hicolor/scalable/apps/vomu-fpc-app.svg"]
executables = ["{sbindir}/vomu-fpcd", "{bindir}/fpcctl", "{bindir}/fpcsim", "{bindir}/fprdecode"]


def expand(paths):
    return sorted(os.path.normpath(p.format(**facts)) for p in paths)


def install(component, destdir):
    env = dict(os.environ, DESTDIR=destdir)
    result = subprocess.run(["cmake", "--install", build_dir, "--component", component],
                            env=env, capture_output=True, text=True)
    if result.returncode != 0:
        fail("install of %s failed:\n%s%s" % (component, result.stdout, result.stderr))


def tree(destdir):
    found = []
    for top, _, files in os.walk(destdir):
        found += ["/" + os.path.relpath(os.path.join(top, name), destdir) for name in files]
    return sorted(found)


def unit_settings(path):
    settings = {}
    with open(path) as f:
        for line in f:
            if "=" in line and not line.startswith("#"):
                key, value = line.rstrip("\n").split("=", 1)
                settings.setdefault(key, value)
    return settings


destdir = tempfile.mkdtemp(prefix="fpcd-destdir-")
try:
    install("daemon", destdir)
    if tree(destdir) != expand(daemon_files):
        fail("daemon component installs %s,\nexpected %s" % (tree(destdir), expand(daemon_files)))
    install("devtools", destdir)
    if tree(destdir) != expand(daemon_files + devtools_files):
        fail("with the developer tools the tree is %s" % tree(destdir))
    if facts["app"] == "ON":
        install("app", destdir)
        if tree(destdir) != expand(daemon_files + devtools_files + app_files):
            fail("with the app the tree is %s" % tree(destdir))
        executables.append("{bindir}/vomu-fpc-app")
    for path in expand(executables):
        if not os.access(destdir + path, os.X_OK):
            fail(path + " is not executable")

    unit_file = destdir + expand(["{unitdir}/vomu-fpcd.service"])[0]
    unit = unit_settings(unit_file)
    if unit.get("ExecStart") != expand(["{sbindir}/vomu-fpcd"])[0]:
        fail("ExecStart=%s does not start the installed daemon" % unit.get("ExecStart"))
    if unit.get("User") != facts["service_user"]:
        fail("the unit runs as %s, not as %s" % (unit.get("User"), facts["service_user"]))

    # The installed policy must load into a real bus.
    bus = PrivateBus([destdir + expand(["{datadir}/dbus-1/system.d/com.vexlo.location.fpcd.conf"])[0]])
    try:
        error = bus.start()
        if error:
            fail("dbus-daemon rejects the installed policy: " + error)
    finally:
        bus.stop()

    sysusers = shutil.which("systemd-sysusers")
    if sysusers:
        conf = destdir + expand(["{sysusersdir}/vomu-fpcd.conf"])[0]
        os.makedirs(destdir + "/etc", exist_ok=True)
        result = subprocess.run([sysusers, "--root=" + destdir, conf], capture_output=True, text=True)
        with open(destdir + "/etc/passwd") as f:
            users = [line.split(":")[0] for line in f]
        if result.returncode != 0 or facts["service_user"] not in users:
            fail("systemd-sysusers does not create the service user: " + result.stderr)
    else:
        print("systemd-sysusers not installed: user creation not checked")

    if shutil.which("systemd-analyze"):
        # The targets and the bus socket the unit depends on come from
        # systemd and dbus, not from this tree: borrow the machine's.
        borrowed = destdir + "/etc/systemd/system"
        os.makedirs(borrowed, exist_ok=True)
        for directory in ("/lib/systemd/system", "/usr/lib/systemd/system"):
            for name in os.listdir(directory) if os.path.isdir(directory) else []:
                if name.endswith((".target", ".slice", ".socket")) and not os.path.exists(borrowed + "/" + name):
                    shutil.copy(os.path.join(directory, name), borrowed)
        result = subprocess.run(["systemd-analyze", "verify", "--man=no", "--root=" + destdir, unit_file],
                                capture_output=True, text=True)
        complaints = [line for line in (result.stdout + result.stderr).splitlines() if line.strip()]
        if result.returncode != 0 or complaints:
            fail("systemd-analyze verify complains:\n" + "\n".join(complaints))
    else:
        print("systemd-analyze not installed: unit not verified")
finally:
    shutil.rmtree(destdir, ignore_errors=True)
print("install tree, unit, policy and users as expected")
