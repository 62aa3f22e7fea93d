# Checks the Linux release zip: its four files, an installer file as Double Commander reads it, and a plugin that loads.
import configparser
import ctypes
import os
import subprocess
import sys
import tempfile
import zipfile

failures = []


def check(what, got, expected):
    if got != expected:
        failures.append(what)
        print('FAILED: %s: got %r, expected %r' % (what, got, expected))


def names_listed(plugin, folder):
    """The names the plugin lists for a folder, through FsFindFirstW/FsFindNextW and the host's 8264-byte record."""
    plugin.FsFindFirstW.restype = ctypes.c_void_p
    record = ctypes.create_string_buffer(8264)
    handle = plugin.FsFindFirstW(ctypes.create_string_buffer(folder.encode('utf-16-le') + b'\0\0'), record)
    names = []
    while handle not in (None, 2**64 - 1):
        names.append(record.raw[44:8236].decode('utf-16-le').split('\0')[0])
        if not plugin.FsFindNextW(ctypes.c_void_p(handle), record):
            plugin.FsFindClose(ctypes.c_void_p(handle))
            break
    return sorted(names)


def main():
    with zipfile.ZipFile(sys.argv[1]) as z, tempfile.TemporaryDirectory() as unpacked:
        check('the files at the root of the zip', sorted(z.namelist()), ['guide.txt', 'pluginst.inf', 'tallyrun.ini', 'tallyrun.wfx'])
        z.extractall(unpacked)
        # Double Commander reads pluginst.inf as an INI file whatever the case of section and keys, and on a 64-bit
        # host takes File + "64" instead of File when the archive holds one.
        inf = configparser.ConfigParser()
        inf.read(os.path.join(unpacked, 'pluginst.inf'))
        section = next((s for s in inf.sections() if s.lower() == 'plugininstall'), None)
        install = inf[section] if section else {}
        check('pluginst.inf: type, file, folder', [install.get(k) for k in ('type', 'file', 'defaultdir')],
              ['wfx', 'tallyrun.wfx', 'tallyrun'])
        check('no tallyrun.wfx64 for a 64-bit host to take instead', os.path.exists(os.path.join(unpacked, 'tallyrun.wfx64')), False)
        kind = subprocess.run(['file', '-b', os.path.join(unpacked, 'tallyrun.wfx')], capture_output=True, text=True).stdout
        check('tallyrun.wfx is a 64-bit ELF shared object', kind.startswith('ELF 64-bit LSB shared object, x86-64'), True)

        folder = os.path.join(unpacked, 'folder')
        os.makedirs(folder)
        for name in ('a01.txt', 'a02.txt'):
            open(os.path.join(folder, name), 'w').close()
        # Before the host's ExtensionInitialize a message would go to standard error: read it from a child.
        probe = subprocess.run([sys.executable, __file__, '--list', os.path.join(unpacked, 'tallyrun.wfx'), folder],
                               capture_output=True, text=True, timeout=60)
        check('the plugin from the zip names its root and lists the sample folder with the sample tallyrun.ini beside it',
              (probe.stdout.splitlines(), probe.stderr), (['Tallyrun', '.', '..', 'a01-02.txt'], ''))
    print('%d failed' % len(failures) if failures else 'all checks passed')
    sys.exit(1 if failures else 0)


def list_folder(plugin_file, folder):
    plugin = ctypes.CDLL(plugin_file)
    root = ctypes.create_string_buffer(64)
    plugin.FsGetDefRootName(root, 64)
    print(root.value.decode())
    print('\n'.join(names_listed(plugin, folder)))


if __name__ == '__main__':
    if sys.argv[1] == '--list':
        list_folder(sys.argv[2], sys.argv[3])
    else:
        main()
