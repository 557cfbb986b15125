# A stand-in for the system's modem service on a private bus, as a python3-dbusmock template:
# one modem with the Ports and Device given in the parameters, and InhibitDevice, refused with
# the parameter "refuse" when that is set.  With "hold" (a file's path) InhibitDevice answers
# only once that file exists, as a slow ModemManager would (a minute at most).  Calls are logged
# by dbusmock (-l FILE) as they arrive.
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
    hold = parameters.get('hold', '')
    if hold:
        code = ('import os, time\n'
                'end = time.monotonic() + 60\n'
                'while not os.path.exists(%r) and time.monotonic() < end:\n'
                '    time.sleep(0.02)\n' % hold)
    if refuse:
        code += ('raise dbus.exceptions.DBusException(%r, '
                'name="org.freedesktop.ModemManager1.Error.Core.Unauthorized")' % refuse)
    mock.AddMethod(MAIN_IFACE, 'InhibitDevice', 'sb', '', code)
