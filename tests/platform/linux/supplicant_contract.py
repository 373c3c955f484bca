#!/usr/bin/python3
"""Holds the wpa_supplicant fake against the real wpa_supplicant.

wpa_supplicant ships no interface XML, so the contract is the running service:
a real wpa_supplicant on a private bus, with an interface on the loopback
device (no WLAN hardware needed), and the fake on a second private bus. The
members the scanner uses must have the same types on both, a malformed scan
request must get the same error, and a scan that cannot run must end with
ScanDone(false), the case the scanner answers with an empty result.

Needs root (wpa_supplicant drives network devices) and the wpa_supplicant
binary; skips (77) without them."""

import os
import shutil
import subprocess
import sys
import time
import xml.etree.ElementTree as ElementTree

import dbus
import dbus.mainloop.glib
from gi.repository import GLib

SKIP = 77
SERVICE = 'fi.w1.wpa_supplicant1'
ROOT_PATH = '/fi/w1/wpa_supplicant1'
INTERFACE = SERVICE + '.Interface'
HERE = os.path.dirname(os.path.abspath(__file__))
BUS_CONFIG = os.path.join(HERE, '..', '..', 'dbus', 'test-bus.conf')

# (D-Bus interface, member kind, name) -> the type string the scanner relies on.
USED_MEMBERS = {
    (SERVICE, 'property', 'Interfaces'): 'ao',
    (INTERFACE, 'method', 'Scan'): 'a{sv}',
    (INTERFACE, 'signal', 'ScanDone'): 'b',
    (INTERFACE, 'property', 'BSSs'): 'ao',
    (INTERFACE, 'property', 'Ifname'): 's',
}


class PrivateBus:
    def __init__(self):
        self.process = subprocess.Popen(['dbus-daemon', '--config-file', BUS_CONFIG, '--print-address=1',
                                         '--nofork'], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                        text=True)
        self.address = self.process.stdout.readline().strip()
        self.children = []

    def start(self, argv):
        environment = dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=self.address)
        self.children.append(subprocess.Popen(argv, env=environment, stdout=subprocess.DEVNULL,
                                              stderr=subprocess.DEVNULL))

    def connect(self):
        return dbus.bus.BusConnection(self.address)

    def stop(self):
        for process in self.children + [self.process]:
            process.terminate()
            process.wait()


def wait_for_name(bus, name):
    for _ in range(100):
        if bus.name_has_owner(name):
            return
        time.sleep(0.05)
    raise SystemExit('%s did not come up on its bus' % name)


def member_types(bus, path):
    """(interface, kind, name) -> type string of every member at path."""
    xml = bus.get_object(SERVICE, path).Introspect(dbus_interface='org.freedesktop.DBus.Introspectable')
    types = {}
    for interface in ElementTree.fromstring(str(xml)).findall('interface'):
        name = interface.get('name')
        for node in interface:
            if node.tag == 'property':
                signature = node.get('type')
            else:
                signature = ''.join(arg.get('type') for arg in node.findall('arg')
                                    if arg.get('direction', 'in') == 'in')
            types[(name, node.tag, node.get('name'))] = signature
    return types


def contract_of(bus, interface_path):
    found = member_types(bus, ROOT_PATH)
    found.update(member_types(bus, interface_path))
    return {key: found.get(key) for key in USED_MEMBERS}


def scan_error(bus, interface_path):
    try:
        bus.get_object(SERVICE, interface_path).Scan({'Type': 'bogus'}, dbus_interface=INTERFACE)
    except dbus.exceptions.DBusException as error:
        return error.get_dbus_name()
    return None


def scan_done(bus, interface_path):
    """The ScanDone arguments that follow a scan request, as (type, value)."""
    results = []
    loop = GLib.MainLoop()
    bus.add_signal_receiver(lambda success: (results.append((type(success).__name__, bool(success))), loop.quit()),
                            signal_name='ScanDone', dbus_interface=INTERFACE, path=interface_path)
    bus.get_object(SERVICE, interface_path).Scan({'Type': 'active'}, dbus_interface=INTERFACE)
    GLib.timeout_add(5000, loop.quit)
    loop.run()
    return results


def main():
    binary = shutil.which('wpa_supplicant') or '/usr/sbin/wpa_supplicant'
    if os.geteuid() != 0 or not os.access(binary, os.X_OK):
        print('needs root and wpa_supplicant')
        return SKIP
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    real_bus, fake_bus = PrivateBus(), PrivateBus()
    try:
        real_bus.start([binary, '-u'])
        fake_bus.start([sys.executable, '-m', 'dbusmock', '--system', '--template',
                        os.path.join(HERE, 'supplicant_fake.py')])
        real, fake = real_bus.connect(), fake_bus.connect()
        wait_for_name(real, SERVICE)
        wait_for_name(fake, SERVICE)
        real_interface = real.get_object(SERVICE, ROOT_PATH).CreateInterface(
            {'Ifname': 'lo', 'Driver': 'wired'}, dbus_interface=SERVICE)
        fake_interface = ROOT_PATH + '/Interfaces/0'

        failures = []
        real_contract, fake_contract = contract_of(real, real_interface), contract_of(fake, fake_interface)
        for key, expected in USED_MEMBERS.items():
            # A python-dbusmock object does not list its signals; the fake's ScanDone is checked by receiving it below.
            fake_matches = fake_contract[key] == expected or key[1] == 'signal'
            if real_contract[key] != expected or not fake_matches:
                failures.append('%s: real %s, fake %s, scanner expects %s'
                                % ('.'.join((key[0], key[2])), real_contract[key], fake_contract[key], expected))
        real_error, fake_error = scan_error(real, real_interface), scan_error(fake, fake_interface)
        if real_error != fake_error:
            failures.append('malformed scan: real answers %s, fake %s' % (real_error, fake_error))
        real_done, fake_done = scan_done(real, real_interface), scan_done(fake, fake_interface)
        if real_done != [('Boolean', False)]:
            failures.append('a scan without WLAN hardware ended with %s instead of ScanDone(false)' % real_done)
        if fake_done != [('Boolean', True)]:
            failures.append('the fake answered a scan with %s instead of ScanDone(true)' % fake_done)
        for failure in failures:
            print(failure)
        return 1 if failures else 0
    finally:
        real_bus.stop()
        fake_bus.stop()


if __name__ == '__main__':
    sys.exit(main())
