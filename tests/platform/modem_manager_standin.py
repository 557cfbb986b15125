# A stand-in for the system's modem service on a private bus, as a python3-dbusmock template:
# one modem with the Ports and Device given in the parameters, and InhibitDevice, refused with
# the parameter "refuse" when that is set.  Calls are logged by dbusmock (-l FILE).
import dbus

BUS_NAME = 'org.freedesktop.ModemManager1'
MAIN_OBJ = '/org/freedesktop/ModemManager1'
MAIN_IFACE = 'org.freedesktop.ModemManager1'
SYSTEM_BUS = True
IS_OBJECT_MANAGER = True


def load(mock, parameters):
    ports = dbus.Array([dbus.Struct((name, dbus.UInt32(kind)), signature='su')
                        for name, kind in parameters.get('ports', [])], signature='(su)')
    mock.AddObject(MAIN_OBJ + '/Modem/0', MAIN_IFACE + '.Modem',
                   {'Device': dbus.String(parameters.get('device', '')),
                    'Manufacturer': dbus.String('Stand-in'),
                    'Ports': ports},
                   [])
    refuse = parameters.get('refuse', '')
    code = ''
    if refuse:
        code = ('raise dbus.exceptions.DBusException(%r, '
                'name="org.freedesktop.ModemManager1.Error.Core.Unauthorized")' % refuse)
    mock.AddMethod(MAIN_IFACE, 'InhibitDevice', 'sb', '', code)
