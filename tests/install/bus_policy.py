"""The installed bus policy on a real bus, with the real daemon and callers
of different users: anyone may read, only root and the control group may
change anything. Also holds the shipped interface description against what
the daemon serves."""
import grp
import json
import os
import pwd
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

from fpcd_testlib import PrivateBus, fail, skip

policy_file, interface_file, daemon, facts_file = sys.argv[1:5]
with open(facts_file) as f:
    facts = json.load(f)

NAME = "com.vexlo.location.fpcd"
PATH = "/com/vexlo/location/fpcd"

if os.geteuid() != 0:
    skip("calls as other users need root (run as root to check the policy)")
try:
    nobody = pwd.getpwnam("nobody")
except KeyError:
    skip("there is no user 'nobody'")
if shutil.which("setpriv"):
    as_nobody = ["setpriv", "--reuid=%d" % nobody.pw_uid, "--regid=%d" % nobody.pw_gid, "--clear-groups", "--"]
elif shutil.which("runuser"):
    as_nobody = ["runuser", "-u", "nobody", "--"]
else:
    skip("neither setpriv nor runuser is installed")

# On the test bus the daemon runs as root, which the installed policy does not
# let own the name: the test's own rule grants it, as the service user's would.
bus = PrivateBus([policy_file], '  <policy user="root"><allow own="%s"/></policy>\n' % NAME)
root_dir = tempfile.mkdtemp(prefix="fpcd-root-")
daemon_process = None


def call(member, interface=NAME, user=None, args=()):
    command = (user or []) + ["dbus-send", "--system", "--print-reply=literal", "--reply-timeout=5000",
                              "--dest=" + NAME, PATH, interface + "." + member] + list(args)
    return subprocess.run(command, env=bus.env(), capture_output=True, text=True)


def signal(member, user=None):
    command = (user or []) + ["dbus-send", "--system", "--type=signal", PATH, NAME + "." + member]
    return subprocess.run(command, env=bus.env(), capture_output=True, text=True)


def interface_of(xml_text):
    """Methods and signals of the daemon's interface, with their arguments."""
    node = ET.fromstring(xml_text[xml_text.index("<node"):])
    for element in node.iter("interface"):
        if element.get("name") == NAME:
            return sorted(ET.tostring(member, encoding="unicode").replace(" ", "").replace("\n", "")
                          for member in element)
    return None


try:
    # The dbus-daemon runs as root and must reach the caller's socket: an
    # abstract socket in /tmp does. The database directory belongs to root.
    error = bus.start()
    if error:
        fail("bus with the installed policy does not start: " + error)
    for private in ("home/user/.vomu-fpcd/private", "var/lib/vomu-fpcd/private"):
        os.makedirs(os.path.join(root_dir, private), mode=0o700)
    env = bus.env()
    env["FPCD_ROOT"] = root_dir
    daemon_process = subprocess.Popen([daemon], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    if not bus.wait_for_owner(NAME):
        fail("the daemon did not come up: " + daemon_process.stderr.read().decode(errors="replace"))

    # Anyone may read.
    for member, interface in (("configurations", NAME), ("sendStatistics", NAME), ("dropCounters", NAME),
                              ("Introspect", "org.freedesktop.DBus.Introspectable")):
        result = call(member, interface, user=as_nobody)
        if result.returncode != 0:
            fail("nobody may not call %s: %s" % (member, result.stderr.strip()))
    served = interface_of(call("Introspect", "org.freedesktop.DBus.Introspectable").stdout)
    with open(interface_file) as f:
        shipped = interface_of(f.read())
    if served != shipped:
        fail("the shipped interface description differs from the served one:\nserved  %s\nshipped %s"
             % (served, shipped))

    # Nobody may change anything, by method or by broadcast.
    for member, args in (("clearBuffer", ()), ("forcedUpload", ()),
                         ("setConfigurations", ("string:<fpcconfig/>",))):
        result = call(member, user=as_nobody, args=args)
        if result.returncode == 0 or "AccessDenied" not in result.stderr:
            fail("nobody's %s was not refused: %s%s" % (member, result.stdout, result.stderr))
    signal("quit", user=as_nobody)
    if bus.wait_for_owner(NAME, present=False, timeout=2.0):
        fail("nobody's quit signal stopped the daemon")

    # The control group may, where the machine has it.
    try:
        group = grp.getgrnam(facts["control_group"])
        if not shutil.which("setpriv"):
            raise KeyError("setpriv")
        as_member = ["setpriv", "--reuid=%d" % nobody.pw_uid, "--regid=%d" % nobody.pw_gid,
                     "--groups=%d" % group.gr_gid, "--"]
        result = call("clearBuffer", user=as_member)
        if result.returncode != 0 or "All fingerprints deleted" not in result.stdout:
            fail("a member of %s may not clear the buffer: %s" % (group.gr_name, result.stderr.strip()))
    except KeyError:
        print("group %s or setpriv missing here: member calls not checked" % facts["control_group"])

    # Root may.
    result = call("clearBuffer")
    if result.returncode != 0 or "All fingerprints deleted" not in result.stdout:
        fail("root may not clear the buffer: " + result.stdout + result.stderr)
    # A one-shot dbus-send has left the bus before the daemon can ask for its
    # user, so root's quit goes as a method here; the broadcast path for a
    # connected sender is covered by the daemon's own tests.
    call("quit")
    if not bus.wait_for_owner(NAME, present=False):
        fail("root's quit did not stop the daemon")
finally:
    if daemon_process and daemon_process.poll() is None:
        daemon_process.terminate()
        daemon_process.wait(timeout=15)
    bus.stop()
    shutil.rmtree(root_dir, ignore_errors=True)
print("policy: readers allowed, changes refused to nobody, allowed to root; interface as shipped")
