# Drives a real Double Commander under Xvfb, for end-to-end tests of a wfx plugin on Linux.
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from xml.sax.saxutils import escape

DOUBLECMD = '/usr/bin/doublecmd'
DEBIAN_PYTHON = '/usr/bin/python3'   # the one that has pyatspi
AT_SPI_LAUNCHER = '/usr/libexec/at-spi-bus-launcher'
CONVERT = '/usr/bin/convert'         # a convert earlier on PATH may be another program

# Hot keys written to the private shortcuts file: xdotool key -> (Double Commander key, command).
HOTKEYS = {
    'F5': ('F5', 'cm_Copy'),
    'ctrl+alt+e': ('Ctrl+Alt+E', 'cm_EditPath'),
    'ctrl+alt+a': ('Ctrl+Alt+A', 'cm_MarkMarkAll'),
    'ctrl+alt+u': ('Ctrl+Alt+U', 'cm_MarkUnmarkAll'),
    'ctrl+alt+m': ('Ctrl+Alt+M', 'cm_MarkPlus'),
    'ctrl+alt+n': ('Ctrl+Alt+N', 'cm_CopyNamesToClip'),
    'ctrl+alt+f': ('Ctrl+Alt+F', 'cm_CopyFullNamesToClip'),
    'ctrl+alt+d': ('Ctrl+Alt+D', 'cm_CopyFileDetailsToClip'),
    'ctrl+alt+s': ('Ctrl+Alt+S', 'cm_FocusSwap'),
    'ctrl+alt+r': ('Ctrl+Alt+R', 'cm_Refresh'),
    'ctrl+alt+q': ('Ctrl+Alt+Q', 'cm_Exit'),
}
KEY_OF = {command: key for key, (_, command) in HOTKEYS.items()}

CONFIG = '''<?xml version="1.0" encoding="UTF-8"?>
<doublecmd DCVersion="1.0.10" ConfigVersion="13">
  <MainWindow>
    <Position Save="False"><Left>0</Left><Top>0</Top><Width>1000</Width><Height>700</Height><Maximized>False</Maximized></Position>
  </MainWindow>
  <Tabs>
    <OpenedTabs>
      <Left><ActiveTab>0</ActiveTab><Tab><FileView Type="columns"><History><Entry Active="True">
        <FileSource Type="FileSystem"/><Paths><Path>{left}</Path></Paths>
      </Entry></History></FileView></Tab></Left>
      <Right><ActiveTab>0</ActiveTab><Tab><FileView Type="columns"><History><Entry Active="True">
        <FileSource Type="FileSystem"/><Paths><Path>{right}</Path></Paths>
      </Entry></History></FileView></Tab></Right>
    </OpenedTabs>
  </Tabs>
  <Behaviours>
    <OnlyOneAppInstance>False</OnlyOneAppInstance>
    <FileSizeFormat>1</FileSizeFormat>
  </Behaviours>
  <Plugins>
    <WfxPlugins>
      <WfxPlugin Enabled="True">
        <Name>{name}</Name>
        <Path>{plugin}</Path>
      </WfxPlugin>
    </WfxPlugins>
  </Plugins>
  <Configuration Save="False"/>
</doublecmd>
'''

# Runs under Debian's python3 with the session's environment: clicks a button by caption, or lists what is on screen.
ATSPI_HELPER = r'''
import sys, time, pyatspi
mode, caption, window, timeout = sys.argv[1], sys.argv[2], sys.argv[3], float(sys.argv[4])
plain = lambda s: (s or '').replace('&&', '\0').replace('&', '').replace('_', '').replace('\0', '&')
def walk(node, depth, found):
    try:
        role, name, count = node.getRoleName(), node.name or '', node.childCount
    except Exception:
        return
    found.append((depth, role, name, node))
    for i in range(min(count, 500)):
        try:
            child = node.getChildAtIndex(i)
        except Exception:
            continue
        if child is not None:
            walk(child, depth + 1, found)
deadline = time.time() + timeout
while True:
    desktop = pyatspi.Registry.getDesktop(0)
    found = []
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is None:
            continue
        for j in range(app.childCount):
            frame = app.getChildAtIndex(j)
            if frame is not None and (not window or frame.name == window):
                walk(frame, 0, found)
    if mode == 'dump':
        for depth, role, name, _ in found:
            print('  ' * depth + role + ' ' + repr(name))
        sys.exit(0)
    buttons = [n for _, role, name, n in found if role == 'push button' and plain(name) == plain(caption)]
    if buttons:
        action = buttons[0].queryAction()
        for k in range(action.nActions):
            if action.getName(k) in ('click', 'press', 'activate'):
                action.doAction(k)
                sys.exit(0)
        sys.exit('button %r has no click action' % caption)
    if time.time() > deadline:
        seen = sorted({plain(name) for _, role, name, _ in found if role == 'push button'})
        sys.exit('no button %r in window %r after %ss; buttons seen: %s' % (caption, window, timeout, seen))
    time.sleep(0.2)
'''


class Failure(Exception):
    pass


def wait_for(what, check, timeout, interval=0.1):
    """Polls check() until it returns something true; fails with what was last seen."""
    deadline = time.monotonic() + timeout
    last = None
    while True:
        last = check()
        if last:
            return last
        if time.monotonic() > deadline:
            raise Failure('timed out after %ss waiting for %s' % (timeout, what))
        time.sleep(interval)


def descendants(pid):
    children = {}
    for entry in os.listdir('/proc'):
        if entry.isdigit():
            try:
                with open('/proc/%s/stat' % entry) as f:
                    fields = f.read().rsplit(')', 1)[1].split()
                children.setdefault(int(fields[1]), []).append(int(entry))
            except (OSError, IndexError):
                pass
    found, todo = [], [pid]
    while todo:
        for child in children.get(todo.pop(), []):
            found.append(child)
            todo.append(child)
    return found


def stop_process(proc, timeout=5):
    """Ends a process we started and everything it started, by their ids."""
    if proc is None or proc.poll() is not None:
        return
    pids = [proc.pid] + descendants(proc.pid)
    for pid in reversed(pids):
        try:
            os.kill(pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
    try:
        proc.wait(timeout)
    except subprocess.TimeoutExpired:
        pass
    for pid in pids:
        try:
            os.kill(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
    proc.wait()


class DoubleCommander:
    """One Double Commander with a private display, buses and configuration; use it in a with block."""

    def __init__(self, plugin, name='Tallyrun', left='/', right=None, workdir=None, env=None, size='1280x800'):
        self.plugin = os.path.abspath(plugin)
        self.name = name
        self.workdir = workdir or tempfile.mkdtemp(prefix='dc_driver.')
        self.right = right or os.path.join(self.workdir, 'target')
        self.left = left
        self.extra_env = dict(env or {})
        self.size = size
        self.procs = []
        self.env = None
        self.main_window = None

    def __enter__(self):
        try:
            self.start()
        except BaseException:
            self.stop()
            raise
        return self

    def __exit__(self, *exc):
        self.stop()

    # Starting and stopping

    def start(self):
        os.makedirs(self.right, exist_ok=True)
        home = os.path.join(self.workdir, 'home')
        config_dir = os.path.join(self.workdir, 'config')
        os.makedirs(home, exist_ok=True)
        os.makedirs(config_dir, exist_ok=True)
        self.write_config(config_dir)
        env = {k: v for k, v in os.environ.items() if k not in ('DISPLAY', 'DBUS_SESSION_BUS_ADDRESS', 'NO_AT_BRIDGE', 'WAYLAND_DISPLAY')}
        env.update(HOME=home, XDG_CONFIG_HOME=os.path.join(home, '.config'), XDG_CACHE_HOME=os.path.join(home, '.cache'),
                   XDG_DATA_HOME=os.path.join(home, '.local/share'), XDG_RUNTIME_DIR=os.path.join(self.workdir, 'run'),
                   LANG='C.UTF-8', LC_ALL='C.UTF-8')
        os.makedirs(env['XDG_RUNTIME_DIR'], mode=0o700, exist_ok=True)
        env['DISPLAY'] = self.start_xvfb(env)
        env['DBUS_SESSION_BUS_ADDRESS'] = self.start_dbus(env)
        self.env = env
        self.start_atspi()
        dc_env = dict(env, GTK_MODULES='gail:atk-bridge', GNOME_ACCESSIBILITY='1', **self.extra_env)
        log = open(os.path.join(self.workdir, 'doublecmd.log'), 'wb')
        self.procs.append(subprocess.Popen([DOUBLECMD, '--config-dir=' + config_dir, '--no-splash'], env=dc_env,
                                           stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT, cwd=self.workdir))
        log.close()
        self.main_window = wait_for('the main window of Double Commander', lambda: self.find_window('^Double Commander'), 60, 0.25)
        # The window is mapped before its panels can take keys: wait until the buttons answer over AT-SPI.
        pass

    def write_config(self, config_dir):
        with open(os.path.join(config_dir, 'doublecmd.xml'), 'w') as f:
            f.write(CONFIG.format(left=escape(self.left), right=escape(self.right), name=escape(self.name), plugin=escape(self.plugin)))
        keys = ''.join('      <Hotkey><Shortcut>%s</Shortcut><Command>%s</Command></Hotkey>\n' % (dc_key, command)
                       for dc_key, command in HOTKEYS.values())
        # Version 53 is 1.0.10's own: an older number makes it add its default keys to ours.
        with open(os.path.join(config_dir, 'shortcuts.scf'), 'w') as f:
            f.write('<?xml version="1.0" encoding="UTF-8"?>\n<doublecmd DCVersion="1.0.10">\n  <Hotkeys Version="53">\n'
                    '    <Form Name="Main">\n' + keys + '    </Form>\n  </Hotkeys>\n</doublecmd>\n')

    def start_xvfb(self, env):
        read_end, write_end = os.pipe()
        self.procs.append(subprocess.Popen(['Xvfb', '-displayfd', str(write_end), '-screen', '0', self.size + 'x24', '-nolisten', 'tcp'],
                                           env=env, pass_fds=[write_end], stdin=subprocess.DEVNULL,
                                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        os.close(write_end)
        with os.fdopen(read_end) as f:
            number = f.readline().strip()
        if not number.isdigit():
            raise Failure('Xvfb did not tell its display number (got %r)' % number)
        return ':' + number

    def start_dbus(self, env):
        proc = subprocess.Popen(['dbus-daemon', '--session', '--nofork', '--nopidfile', '--print-address=1'], env=env,
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.procs.append(proc)
        address = proc.stdout.readline().decode().strip()
        if not address:
            raise Failure('dbus-daemon did not print its address')
        return address

    def start_atspi(self):
        self.procs.append(subprocess.Popen([AT_SPI_LAUNCHER, '--launch-immediately'], env=self.env, stdin=subprocess.DEVNULL,
                                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        wait_for('the accessibility bus', lambda: subprocess.run(
            ['dbus-send', '--session', '--print-reply', '--dest=org.a11y.Bus', '/org/a11y/bus', 'org.a11y.Bus.GetAddress'],
            env=self.env, capture_output=True).returncode == 0, 20)

    def stop(self):
        """Asks Double Commander to quit, then ends every process started here, newest first."""
        if self.env and self.main_window and self.procs and self.procs[-1].poll() is None:
            try:
                self.key('ctrl+alt+q')
                self.procs[-1].wait(5)
            except Exception:
                pass
        while self.procs:
            stop_process(self.procs.pop())

    # Windows, keys and the clipboard

    def run(self, *args, check=True, input=None):
        proc = subprocess.run(args, env=self.env, capture_output=True, input=input)
        if check and proc.returncode != 0:
            raise Failure('%s failed (%s): %s' % (' '.join(args), proc.returncode, proc.stderr.decode(errors='replace').strip()))
        return proc.stdout.decode(errors='replace')

    def find_window(self, title_regex):
        """The id of a visible window whose title matches, or None."""
        out = self.run('xdotool', 'search', '--onlyvisible', '--name', title_regex, check=False).split()
        return out[0] if out else None

    def window_name(self, window):
        return self.run('xdotool', 'getwindowname', window).strip()

    def wait_window(self, title_regex, timeout=20):
        return wait_for('a window titled %r' % title_regex, lambda: self.find_window(title_regex), timeout, 0.2)

    def wait_window_gone(self, window, timeout=20):
        wait_for('window %s to close' % window, lambda: window not in self.run('xdotool', 'search', '--onlyvisible', '--name', '.', check=False).split(), timeout, 0.2)

    def key(self, *keys, window=None):
        # With no window manager there is no _NET_ACTIVE_WINDOW: give the X focus directly.
        self.run('xdotool', 'windowfocus', '--sync', window or self.main_window)
        self.run('xdotool', 'key', '--clearmodifiers', *keys)

    def command(self, name):
        self.key(KEY_OF[name])

    def type_text(self, text):
        self.run('xdotool', 'type', '--delay', '20', text)

    def clipboard(self):
        return self.run('xclip', '-o', '-selection', 'clipboard', check=False)

    def set_clipboard(self, text):
        # xclip forks a child that serves the selection until another owner takes it or the display goes; it keeps
        # any pipe it inherits open, so its output must not be captured or the call never returns.
        subprocess.run(['xclip', '-i', '-selection', 'clipboard'], env=self.env, input=text.encode(),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)

    def copy_to_clipboard(self, command, timeout=10):
        """Runs a command that copies text, and returns the text once the clipboard changed."""
        marker = '\x01dc_driver %s\x01' % time.monotonic()
        self.set_clipboard(marker)
        self.command(command)
        return wait_for('%s to fill the clipboard' % command, lambda: (lambda t: t if t != marker else None)(self.clipboard()), timeout)

    # Accessibility

    def atspi(self, mode, caption, window='', timeout=20, check=True):
        proc = subprocess.run([DEBIAN_PYTHON, '-c', ATSPI_HELPER, mode, caption, window, str(timeout)],
                              env=self.env, capture_output=True, timeout=timeout + 30)
        if check and proc.returncode != 0:
            raise Failure(proc.stderr.decode(errors='replace').strip())
        return proc.stdout.decode(errors='replace')

    def click(self, caption, window='', timeout=20):
        """Clicks a push button by its caption ('&' marks may be given or not), in the window of that title if given."""
        self.atspi('click', caption, window, timeout)

    def dump(self, window=''):
        return self.atspi('dump', '', window, 5)

    # Panels

    def open(self, path, timeout=20):
        """Shows path (for example wfx://Tallyrun/photos) in the active panel, through the path editor."""
        self.command('cm_EditPath')
        time.sleep(0.3)   # the editor appears on the next turn of the main loop; typing earlier goes to the panel
        self.run('xdotool', 'key', '--clearmodifiers', 'ctrl+a')
        self.type_text(path)
        self.run('xdotool', 'key', '--clearmodifiers', 'Return')
        wait_for('the panel to show %s' % path, lambda: self.location() == path.rstrip('/') or None, timeout, 0.3)

    def full_names(self):
        """What cm_CopyFullNamesToClip gives for every entry of the active panel (all marked, then unmarked)."""
        self.command('cm_MarkMarkAll')
        text = self.copy_to_clipboard('cm_CopyFullNamesToClip')
        self.command('cm_MarkUnmarkAll')
        return text.splitlines()

    def names(self):
        """The names the active panel shows, without '..'."""
        self.command('cm_MarkMarkAll')
        text = self.copy_to_clipboard('cm_CopyNamesToClip')
        self.command('cm_MarkUnmarkAll')
        return [line for line in text.splitlines() if line != '..']

    def details(self):
        """The shown columns of every entry of the active panel, one list of cells per entry."""
        self.command('cm_MarkMarkAll')
        text = self.copy_to_clipboard('cm_CopyFileDetailsToClip')
        self.command('cm_MarkUnmarkAll')
        return [line.split('\t') for line in text.splitlines()]

    def location(self):
        """The active panel's folder as an address plus path, read from the full name of its first entry."""
        self.command('cm_MarkUnmarkAll')
        first = self.copy_to_clipboard('cm_CopyFullNamesToClip').splitlines()[0]
        return first.rsplit('/', 1)[0] or '/'

    def mark(self, mask):
        """Marks the entries of the active panel that match mask, through Double Commander's mask prompt."""
        self.command('cm_MarkPlus')
        window = self.wait_window('^Select mask$')
        self.key('ctrl+a', window=window)
        self.run('xdotool', 'type', '--delay', '20', mask)
        self.run('xdotool', 'key', 'Return')
        self.wait_window_gone(window)

    def copy_marked(self, timeout=20):
        """F5 on the marked entries into the other panel, started from Double Commander's copy dialog."""
        self.command('cm_Copy')
        self.wait_window('^Copy file', timeout)
        self.click('&Start', 'Copy file(s)', timeout)

    # Pictures

    def screenshot(self, path, window=None):
        """Saves the whole screen, or one window, as a PNG."""
        target = ['-id', window] if window else ['-root']
        xwd = subprocess.run(['xwd', '-silent'] + target, env=self.env, capture_output=True, check=True).stdout
        subprocess.run([CONVERT, 'xwd:-', 'png:' + path], input=xwd, check=True, capture_output=True)
        return path
