"""Helpers shared by the install checks: skipping, a private bus."""
import os
import shutil
import subprocess
import sys
import tempfile
import time

SKIP = 77


def skip(reason):
    print("SKIP: " + reason)
    sys.exit(SKIP)


def fail(reason):
    print("FAIL: " + reason)
    sys.exit(1)


# The system bus's own default policy: method calls refused unless a rule
# allows them, signals and replies pass, nobody owns a name by default.
SYSTEM_DEFAULTS = """
  <policy context="default">
    <allow user="*"/>
    <deny own="*"/>
    <deny send_type="method_call"/>
    <allow send_type="signal"/>
    <allow send_requested_reply="true" send_type="method_return"/>
    <allow send_requested_reply="true" send_type="error"/>
    <allow receive_type="method_call"/>
    <allow receive_type="method_return"/>
    <allow receive_type="error"/>
    <allow receive_type="signal"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus.Introspectable"/>
  </policy>
"""


class PrivateBus:
    """A dbus-daemon of system type with the given policy files included."""

    def __init__(self, policy_files, extra_policy=""):
        self.dir = tempfile.mkdtemp(prefix="fpcd-bus-")
        self.config = os.path.join(self.dir, "bus.conf")
        includes = "".join("  <include>%s</include>\n" % os.path.abspath(path) for path in policy_files)
        with open(self.config, "w") as out:
            out.write('<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"\n'
                      ' "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">\n'
                      "<busconfig>\n  <type>system</type>\n  <listen>unix:tmpdir=/tmp</listen>\n"
                      "  <auth>EXTERNAL</auth>\n" + SYSTEM_DEFAULTS + extra_policy + includes + "</busconfig>\n")
        self.process = None
        self.address = None

    def start(self):
        """Starts the bus; returns an error text, or None when it is up."""
        self.process = subprocess.Popen(["dbus-daemon", "--config-file=" + self.config, "--nofork",
                                         "--print-address"], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                        text=True)
        line = self.process.stdout.readline().strip()
        if not line:
            self.process.wait(timeout=10)
            return self.process.stderr.read().strip() or "dbus-daemon printed no address"
        self.address = line
        return None

    def env(self):
        env = dict(os.environ)
        env["DBUS_SYSTEM_BUS_ADDRESS"] = self.address
        return env

    def has_owner(self, name):
        result = subprocess.run(["dbus-send", "--system", "--print-reply=literal", "--dest=org.freedesktop.DBus",
                                 "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner", "string:" + name],
                                env=self.env(), capture_output=True, text=True)
        return result.returncode == 0 and "true" in result.stdout

    def wait_for_owner(self, name, present=True, timeout=15.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.has_owner(name) == present:
                return True
            time.sleep(0.1)
        return False

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            self.process.wait(timeout=10)
        shutil.rmtree(self.dir, ignore_errors=True)
