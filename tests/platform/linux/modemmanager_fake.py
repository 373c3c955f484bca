'''A ModemManager for tests with the properties of its installed interface XML. JSON parameters: modem / sim (false:
none), state (8), imsi, imei, cells (GetCellInfo; cell_info false: unsupported), technologies, location (3GPP text
"MCC,MNC,LAC,CI,TAC"), gsm_signal, registration. Location.SetGpsFix(utc, lat, lon, alt) is another program's fix.'''

import os
import xml.etree.ElementTree as ET

import dbus
import dbusmock

BUS_NAME = 'org.freedesktop.ModemManager1'
MAIN_OBJ = '/org/freedesktop/ModemManager1'
IS_OBJECT_MANAGER = True
SYSTEM_BUS = True

INTERFACE_DIR = '/usr/share/dbus-1/interfaces'
MODEM_PATH = MAIN_OBJ + '/Modem/0'
SIM_PATH = MAIN_OBJ + '/SIM/0'
MODEM_IFACE = 'org.freedesktop.ModemManager1.Modem'

CELL_KEY_TYPES = {
    'cell-type': dbus.UInt32, 'serving': dbus.Boolean,
    'operator-id': dbus.String, 'lac': dbus.String, 'ci': dbus.String, 'tac': dbus.String,
    'base-station-id': dbus.String, 'arfcn': dbus.UInt32, 'rx-level': dbus.UInt32,
    'timing-advance': dbus.UInt32, 'frequency-fdd-dl': dbus.UInt32, 'psc': dbus.UInt32,
    'rscp': dbus.Double, 'ecio': dbus.Double, 'rssi': dbus.Double,
}


def default_value(signature):
    '''A value of the given D-Bus type, empty or zero.'''
    simple = {'s': dbus.String(''), 'o': dbus.ObjectPath('/'), 'b': dbus.Boolean(False),
              'y': dbus.Byte(0), 'i': dbus.Int32(0), 'u': dbus.UInt32(0), 'x': dbus.Int64(0),
              't': dbus.UInt64(0), 'd': dbus.Double(0.0), 'q': dbus.UInt16(0), 'n': dbus.Int16(0)}
    if signature in simple:
        return simple[signature]
    if signature.startswith('a{'):
        return dbus.Dictionary({}, signature=signature[2:-1])
    if signature.startswith('a'):
        return dbus.Array([], signature=signature[1:])
    if signature.startswith('('):
        return dbus.Struct([default_value(c) for c in signature[1:-1]], signature=signature[1:-1])
    return dbus.String('')


def interface_properties(name):
    '''Every property of one ModemManager interface, at its default value.'''
    tree = ET.parse(os.path.join(INTERFACE_DIR, name + '.xml'))
    props = {}
    for iface in tree.getroot().iter('interface'):
        if iface.get('name') == name:
            for prop in iface.iter('property'):
                props[prop.get('name')] = default_value(prop.get('type'))
    return props


def typed_cell(cell):
    '''A cell with ModemManager's types; a cell marked "_untyped" keeps the
    JSON types of its other values (a modem that sends the wrong type).'''
    untyped = cell.get('_untyped', False)
    return dbus.Dictionary({k: (v if untyped and k not in ('cell-type', 'serving')
                                else CELL_KEY_TYPES.get(k, lambda x: x)(v))
                            for k, v in cell.items() if k != '_untyped'}, signature='sv')


def load(mock, parameters):
    if not parameters.get('modem', True):
        return
    modem = interface_properties(MODEM_IFACE)
    modem.update({
        'State': dbus.Int32(parameters.get('state', 8)),
        'EquipmentIdentifier': dbus.String(parameters.get('imei', '')),
        'AccessTechnologies': dbus.UInt32(parameters.get('technologies', 0)),
        'Sim': dbus.ObjectPath(SIM_PATH if parameters.get('sim', True) else '/'),
    })
    cells = dbus.Array([typed_cell(c) for c in parameters.get('cells', [])], signature='a{sv}')
    cell_code = ('ret = self.cells' if parameters.get('cell_info', True) else
                 'raise dbus.exceptions.DBusException("not supported", '
                 'name="org.freedesktop.ModemManager1.Error.Core.Unsupported")')
    mock.AddObject(MODEM_PATH, MODEM_IFACE, modem, [('GetCellInfo', '', 'aa{sv}', cell_code)])
    obj = dbusmock.get_object(MODEM_PATH)
    obj.cells = cells

    location = interface_properties(MODEM_IFACE + '.Location')
    location['Capabilities'] = dbus.UInt32(1 | 4)
    obj.AddProperties(MODEM_IFACE + '.Location', location)
    obj.location_text = parameters.get('location', '')
    obj.AddMethods(MODEM_IFACE + '.Location', [
        ('Setup', 'ub', '',
         'self.Set("%s.Location", "Enabled", dbus.UInt32(args[0])); '
         'self.Set("%s.Location", "SignalsLocation", dbus.Boolean(args[1]))' % (MODEM_IFACE, MODEM_IFACE)),
        # A fix of the modem's GPS as another program would have it running:
        # the Location property changes (and is signalled) like ModemManager's.
        ('SetGpsFix', 'sddd', '',
         'self.Set("%s.Location", "Location", dbus.Dictionary({dbus.UInt32(4): dbus.Dictionary('
         '{"utc-time": args[0], "latitude": dbus.Double(args[1]), "longitude": dbus.Double(args[2]), '
         '"altitude": dbus.Double(args[3])}, signature="sv")}, signature="uv"))' % MODEM_IFACE),
        ('GetLocation', '', 'a{uv}',
         'ret = dbus.Dictionary({dbus.UInt32(1): dbus.String(self.location_text, variant_level=1)} '
         'if (self.Get("%s.Location", "Enabled") & 1) and self.location_text else {}, signature="uv")'
         % MODEM_IFACE),
    ])

    signal = interface_properties(MODEM_IFACE + '.Signal')
    signal['Gsm'] = dbus.Dictionary({k: dbus.Double(v) for k, v in parameters.get('gsm_signal', {}).items()},
                                    signature='sv')
    obj.AddProperties(MODEM_IFACE + '.Signal', signal)
    obj.AddMethods(MODEM_IFACE + '.Signal', [
        ('Setup', 'u', '', 'self.Set("%s.Signal", "Rate", dbus.UInt32(args[0]))' % MODEM_IFACE),
    ])

    threegpp = interface_properties(MODEM_IFACE + '.Modem3gpp')
    threegpp['RegistrationState'] = dbus.UInt32(parameters.get('registration', 1))
    obj.AddProperties(MODEM_IFACE + '.Modem3gpp', threegpp)

    if parameters.get('sim', True):
        sim = interface_properties('org.freedesktop.ModemManager1.Sim')
        sim['Imsi'] = dbus.String(parameters.get('imsi', ''))
        mock.AddObject(SIM_PATH, 'org.freedesktop.ModemManager1.Sim', sim, [])
