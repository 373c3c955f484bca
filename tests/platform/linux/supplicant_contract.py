#!/usr/bin/python3
"""Holds the wpa_supplicant fake against a real wpa_supplicant (it ships no interface XML), each on a private
bus, the real one with an interface on the loopback device: the members the scanner uses have the same types, a
malformed scan gets the same error, and a scan that cannot run ends with ScanDone(false). Root only, else 77."""

import os
import shutil
import subprocess
import sys
import time
import xml.etree.ElementTree as ElementTree

import dbus
import dbus.mainloop.glib
from gi.repository import GLib

SERVICE = 'fi.w1.wpa_supplicant1'
ROOT_PATH = '/fi/w1/wpa_supplicant1'
INTERFACE = SERVICE + '.Interface'
HERE = os.path.dirname(os.path.abspath(__file__))

# (D-Bus interface, member kind, name) -> the type string the scanner relies on.
USED_MEMBERS = {
    (SERVICE, 'property', 'Interfaces'): 'ao',
    (INTERFACE, 'method', 'Scan'): 'a{sv}',
    (INTERFACE, 'signal', 'ScanDone'): 'b',
    (INTERFACE, 'property', 'BSSs'): 'ao',
    (INTERFACE, 'property', 'Ifname'): 's',
}


def private_bus(argv, processes):
    """A bus of its own with the service argv on it as its system bus; the connection to it."""
    bus = subprocess.Popen(['dbus-daemon', '--config-file', os.path.join(HERE, '..', '..', 'dbus', 'test-bus.conf'),
                            '--print-address=1', '--nofork'], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                           text=True)
    processes.append(bus)
    address = bus.stdout.readline().strip()
    processes.append(subprocess.Popen(argv, env=dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=address),
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    connection = dbus.bus.BusConnection(address)
    for _ in range(100):
        if connection.name_has_owner(SERVICE):
            return connection
        time.sleep(0.05)
    raise SystemExit('%s did not come up on its bus' % argv[0])


def contract_of(bus, interface_path):
    """The type string of each used member, as the service introspects it."""
    found = {}
    for path in (ROOT_PATH, interface_path):
        xml = bus.get_object(SERVICE, path).Introspect(dbus_interface='org.freedesktop.DBus.Introspectable')
        for interface in ElementTree.fromstring(str(xml)).findall('interface'):
            for node in interface:
                signature = node.get('type') if node.tag == 'property' else ''.join(
                    arg.get('type') for arg in node.findall('arg') if arg.get('direction', 'in') == 'in')
                found[(interface.get('name'), node.tag, node.get('name'))] = signature
    return {key: found.get(key) for key in USED_MEMBERS}


def scan_answers(bus, interface_path):
    """The error of a malformed scan request and the ScanDone arguments (type, value) after a valid one."""
    scanner = bus.get_object(SERVICE, interface_path)
    try:
        scanner.Scan({'Type': 'bogus'}, dbus_interface=INTERFACE)
        error = None
    except dbus.exceptions.DBusException as refused:
        error = refused.get_dbus_name()
    results = []
    loop = GLib.MainLoop()
    bus.add_signal_receiver(lambda success: (results.append((type(success).__name__, bool(success))), loop.quit()),
                            signal_name='ScanDone', dbus_interface=INTERFACE, path=interface_path)
    scanner.Scan({'Type': 'active'}, dbus_interface=INTERFACE)
    GLib.timeout_add(5000, loop.quit)
    loop.run()
    return error, results


def main():
    binary = shutil.which('wpa_supplicant') or '/usr/sbin/wpa_supplicant'
    if os.geteuid() != 0 or not os.access(binary, os.X_OK):
        print('needs root and wpa_supplicant')
        return 77
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    processes = []
    try:
        real = private_bus([binary, '-u'], processes)
        fake = private_bus([sys.executable, '-m', 'dbusmock', '--system', '--template',
                            os.path.join(HERE, 'supplicant_fake.py')], processes)
        real_interface = real.get_object(SERVICE, ROOT_PATH).CreateInterface({'Ifname': 'lo', 'Driver': 'wired'},
                                                                             dbus_interface=SERVICE)
        fake_interface = ROOT_PATH + '/Interfaces/0'
        real_contract, fake_contract = contract_of(real, real_interface), contract_of(fake, fake_interface)
        # A python-dbusmock object does not list its signals; the fake's ScanDone is received below.
        failures = ['%s.%s: real %s, fake %s, scanner expects %s'
                    % (key[0], key[2], real_contract[key], fake_contract[key], expected)
                    for key, expected in USED_MEMBERS.items()
                    if real_contract[key] != expected or (fake_contract[key] != expected and key[1] != 'signal')]
        (real_error, real_done), (fake_error, fake_done) = scan_answers(real, real_interface), scan_answers(
            fake, fake_interface)
        if real_error != fake_error:
            failures.append('malformed scan: real answers %s, fake %s' % (real_error, fake_error))
        if real_done != [('Boolean', False)]:
            failures.append('a scan without WLAN hardware ended with %s instead of ScanDone(false)' % real_done)
        if fake_done != [('Boolean', True)]:
            failures.append('the fake answered a scan with %s instead of ScanDone(true)' % fake_done)
        print('\n'.join(failures))
        return 1 if failures else 0
    finally:
        for process in reversed(processes):
            process.terminate()
            process.wait()


if __name__ == '__main__':
    sys.exit(main())
