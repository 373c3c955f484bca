'''A wpa_supplicant for tests with wpa_supplicant's D-Bus names and types: one WLAN interface (or none,
parameter "interface": false) with the BSSs "bsss" ({"bssid": [byte, ...], "signal": dBm}). Interface.Scan takes
only the types wpa_supplicant knows and answers at once with ScanDone("scan_success", default true).
'''

import dbus

BUS_NAME = 'fi.w1.wpa_supplicant1'
MAIN_OBJ = '/fi/w1/wpa_supplicant1'
MAIN_IFACE = 'fi.w1.wpa_supplicant1'
SYSTEM_BUS = True

IFACE_PATH = MAIN_OBJ + '/Interfaces/0'
IFACE_IFACE = MAIN_IFACE + '.Interface'
BSS_IFACE = MAIN_IFACE + '.BSS'

SCAN_CODE = '''
kind = args[0].get('Type', '')
if kind not in ('active', 'passive'):
    raise dbus.exceptions.DBusException('Wrong Type value type. String required',
                                        name='fi.w1.wpa_supplicant1.InvalidArgs')
self.EmitSignal('%s', 'ScanDone', 'b', [dbus.Boolean(%s)])
'''


def bss_properties(bss):
    return {
        'BSSID': dbus.Array([dbus.Byte(b) for b in bss.get('bssid', [])], signature='y'),
        'SSID': dbus.Array([dbus.Byte(c) for c in b'net'], signature='y'),
        'Signal': dbus.Int16(bss['signal']),
    }


def load(mock, parameters):
    has_interface = parameters.get('interface', True)
    mock.AddProperties(MAIN_IFACE, {
        'Interfaces': dbus.Array([dbus.ObjectPath(IFACE_PATH)] if has_interface else [], signature='o'),
    })
    if not has_interface:
        return
    bss_paths = []
    for index, bss in enumerate(parameters.get('bsss', [])):
        path = '%s/BSSs/%d' % (IFACE_PATH, index)
        mock.AddObject(path, BSS_IFACE, bss_properties(bss), [])
        bss_paths.append(dbus.ObjectPath(path))
    success = 'True' if parameters.get('scan_success', True) else 'False'
    mock.AddObject(IFACE_PATH, IFACE_IFACE, {
        'Ifname': dbus.String('wlan0'),
        'BSSs': dbus.Array(bss_paths, signature='o'),
    }, [('Scan', 'a{sv}', '', SCAN_CODE % (IFACE_IFACE, success))])
