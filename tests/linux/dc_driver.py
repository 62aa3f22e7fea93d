# Drives a real Double Commander under Xvfb, for end-to-end tests of a wfx plugin on Linux.
import ast
import ctypes
import os
import shutil
import signal
import subprocess
import tempfile
import time
from xml.sax.saxutils import escape

DOUBLECMD = '/usr/bin/doublecmd'
DEBIAN_PYTHON = '/usr/bin/python3'   # the one that has pyatspi
AT_SPI_LAUNCHER = '/usr/libexec/at-spi-bus-launcher'
WINDOW_MANAGER = ['openbox', '--sm-disable']
CONVERT = '/usr/bin/convert'         # a convert earlier on PATH may be another program

# Hot keys of the private shortcuts file: xdotool key -> (Double Commander's name of it, command).
# Ctrl+Alt combinations never arrive under Xvfb, and Shift+F10 opens a context menu: neither is used.
HOTKEYS = {
    'F3': ('F3', 'cm_View'),
    'F4': ('F4', 'cm_Edit'),
    'F5': ('F5', 'cm_Copy'),
    'ctrl+shift+e': ('Ctrl+Shift+E', 'cm_EditPath'),
    'ctrl+shift+a': ('Ctrl+Shift+A', 'cm_MarkMarkAll'),
    'ctrl+shift+z': ('Ctrl+Shift+Z', 'cm_MarkUnmarkAll'),
    'ctrl+shift+m': ('Ctrl+Shift+M', 'cm_MarkPlus'),
    'ctrl+shift+n': ('Ctrl+Shift+N', 'cm_CopyNamesToClip'),
    'ctrl+shift+f': ('Ctrl+Shift+F', 'cm_CopyFullNamesToClip'),
    'ctrl+shift+d': ('Ctrl+Shift+D', 'cm_CopyFileDetailsToClip'),
    'ctrl+shift+s': ('Ctrl+Shift+S', 'cm_FocusSwap'),
    'ctrl+shift+r': ('Ctrl+Shift+R', 'cm_Refresh'),
    'ctrl+shift+q': ('Ctrl+Shift+Q', 'cm_Exit'),
}
KEY_OF = {command: key for key, (_, command) in HOTKEYS.items()}

# Only what differs from the defaults; tabs of a plugin cannot be stored, so both panels start on local folders.
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

# Version 53 is 1.0.10's own: with an older one it adds its default keys to these.
SHORTCUTS = '''<?xml version="1.0" encoding="UTF-8"?>
<doublecmd DCVersion="1.0.10">
  <Hotkeys Version="53">
    <Form Name="Main">
{keys}    </Form>
  </Hotkeys>
</doublecmd>
'''

# Runs under Debian's python3 on the session's buses: lists the windows' accessible objects, fills the focused text
# field, or clicks a button by caption.
ATSPI_HELPER = r'''
import sys, time, pyatspi
mode, caption, window, timeout = sys.argv[1], sys.argv[2], sys.argv[3], float(sys.argv[4])
def walk(node, depth, found):
    try:
        found.append((depth, node.getRoleName(), node.name or '', node))
        children = [node.getChildAtIndex(i) for i in range(min(node.childCount, 500))]
    except Exception:
        return   # a window that closes while it is read
    for child in children:
        if child is not None:
            walk(child, depth + 1, found)
def frames():
    found = []
    desktop = pyatspi.Registry.getDesktop(0)
    for app in [desktop.getChildAtIndex(i) for i in range(desktop.childCount)]:
        for frame in [app.getChildAtIndex(j) for j in range(app.childCount)] if app else []:
            if frame is not None and (not window or frame.name == window):
                walk(frame, 0, found)
    return found
deadline = time.time() + timeout
while True:
    found = frames()
    if mode == 'dump':
        print('\n'.join('  ' * depth + role + ' ' + repr(name) for depth, role, name, _ in found))
        sys.exit(0)
    if mode == 'fill':
        edits = [node for _, role, _, node in found if role == 'text' and node.getState().contains(pyatspi.STATE_FOCUSED)]
        if edits and edits[0].queryEditableText().setTextContents(caption):
            sys.exit(0)
        if time.time() > deadline:
            sys.exit('no focused text field in window %r after %ss' % (window or 'any', timeout))
        time.sleep(0.1)
        continue
    buttons = [node for _, role, name, node in found if role == 'push button' and name == caption]
    if buttons:
        action = buttons[0].queryAction()
        names = [action.getName(k) for k in range(action.nActions)]
        sys.exit(0 if 'click' in names and action.doAction(names.index('click')) else 'cannot click %r: actions %s' % (caption, names))
    if time.time() > deadline:
        seen = sorted({name for _, role, name, _ in found if role == 'push button'})
        sys.exit('no button %r in window %r after %ss; buttons there: %s' % (caption, window or 'any', timeout, seen))
    time.sleep(0.2)
'''


class Failure(Exception):
    pass


def wait_for(what, check, timeout, interval=0.1, seen=lambda: None):
    """Polls check() until it returns something true; the failure tells what seen() says was there instead."""
    deadline = time.monotonic() + timeout
    while True:
        result = check()
        if result:
            return result
        if time.monotonic() > deadline:
            last = seen()
            raise Failure('timed out after %ss waiting for %s%s' % (timeout, what, '' if last is None else '; saw %r' % (last,)))
        time.sleep(interval)


def descendants(pid):
    children = {}
    for entry in os.listdir('/proc'):
        if entry.isdigit():
            try:
                with open('/proc/%s/stat' % entry) as f:
                    children.setdefault(int(f.read().rsplit(')', 1)[1].split()[1]), []).append(int(entry))
            except (OSError, IndexError, ValueError):
                pass
    found, todo = [], [pid]
    while todo:
        for child in children.get(todo.pop(), []):
            found.append(child)
            todo.append(child)
    return found


def stop_process(proc, timeout=3):
    """Ends a process started here and all it started (the bus launcher starts a bus and a registry), by their ids."""
    pids = [proc.pid] + descendants(proc.pid)
    for sig in (signal.SIGTERM, signal.SIGKILL):
        for pid in pids:
            try:
                os.kill(pid, sig)
            except ProcessLookupError:
                pass
        try:
            proc.wait(timeout)
        except subprocess.TimeoutExpired:
            pass
        pids = [pid for pid in pids if os.path.exists('/proc/%d' % pid)]
        if proc.poll() is not None and not pids:
            break
    proc.wait()


def die_with_parent():
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGKILL)   # PR_SET_PDEATHSIG


def plain(caption):
    """A caption as the accessibility bus names it: '&' marks dropped, '&&' kept as '&'."""
    return caption.replace('&&', '\0').replace('&', '').replace('\0', '&')


class DoubleCommander:
    """One Double Commander with its own display, window manager, buses and configuration; use it in a with block.

    The plugin file is registered under name; the left panel starts on the local folder left, the right one on
    right (made if missing), the target of copies. workdir holds the configuration, home, logs and, by default,
    the target; one made here is removed after a run that did not fail.
    """

    def __init__(self, plugin, name='Tallyrun', left='/', right=None, workdir=None, env=None, size='1280x800'):
        self.plugin = os.path.abspath(plugin)
        self.name = name
        self.own_workdir = workdir is None
        self.workdir = workdir or tempfile.mkdtemp(prefix='dc_driver.')
        self.left = left
        self.right = right or os.path.join(self.workdir, 'target')
        self.extra_env = dict(env or {})
        self.size = size
        self.procs = []
        self.env = None
        self.doublecmd = None
        self.main_window = None

    def __enter__(self):
        try:
            self.start()
        except BaseException:
            self.stop()
            raise
        return self

    def __exit__(self, kind, value, trace):
        self.stop()
        if self.own_workdir and kind is None:
            shutil.rmtree(self.workdir, ignore_errors=True)
        elif kind is not None:
            print('dc_driver: logs and screenshots kept in', self.workdir)

    # Starting and stopping

    def start(self):
        home = os.path.join(self.workdir, 'home')
        config_dir = os.path.join(self.workdir, 'config')
        runtime = os.path.join(self.workdir, 'run')
        for folder in (self.right, home, config_dir, runtime):
            os.makedirs(folder, mode=0o700, exist_ok=True)
        self.write_config(config_dir)
        env = {k: v for k, v in os.environ.items() if k not in ('DISPLAY', 'DBUS_SESSION_BUS_ADDRESS', 'NO_AT_BRIDGE', 'WAYLAND_DISPLAY')}
        env.update(HOME=home, XDG_CONFIG_HOME=home + '/.config', XDG_CACHE_HOME=home + '/.cache', XDG_DATA_HOME=home + '/.local/share',
                   XDG_RUNTIME_DIR=runtime, LANG='C.UTF-8', LC_ALL='C.UTF-8')
        env['DISPLAY'] = self.start_xvfb(env)
        env['DBUS_SESSION_BUS_ADDRESS'] = self.start_dbus(env)
        self.env = env
        self.start_window_manager()
        self.start_atspi()
        dc_env = dict(env, GTK_MODULES='gail:atk-bridge')   # GTK 2 shows its widgets to AT-SPI only through both modules
        dc_env.update(self.extra_env)
        with open(os.path.join(self.workdir, 'doublecmd.log'), 'wb') as log:
            self.doublecmd = self.spawn([DOUBLECMD, '--config-dir=' + config_dir, '--no-splash'], dc_env, stdout=log, stderr=subprocess.STDOUT)
        self.main_window = wait_for('the main window of Double Commander', lambda: self.find_window('^Double Commander'), 60, 0.2)
        # Keys sent before the panels can take them are lost: repeat one until the clipboard answers.
        self.copy_to_clipboard('cm_CopyFullNamesToClip', timeout=60, repeat=True)

    def write_config(self, config_dir):
        with open(os.path.join(config_dir, 'doublecmd.xml'), 'w') as f:
            f.write(CONFIG.format(left=escape(self.left), right=escape(self.right), name=escape(self.name), plugin=escape(self.plugin)))
        keys = ''.join('      <Hotkey><Shortcut>%s</Shortcut><Command>%s</Command></Hotkey>\n' % pair for pair in HOTKEYS.values())
        with open(os.path.join(config_dir, 'shortcuts.scf'), 'w') as f:
            f.write(SHORTCUTS.format(keys=keys))

    def spawn(self, args, env, **streams):
        streams.setdefault('stdout', subprocess.DEVNULL)
        streams.setdefault('stderr', subprocess.DEVNULL)
        # Each child is killed by the kernel if this process dies without cleaning up (kill -9, a killed test run).
        proc = subprocess.Popen(args, env=env, stdin=subprocess.DEVNULL, cwd=self.workdir, preexec_fn=die_with_parent, **streams)
        self.procs.append(proc)
        return proc

    def start_xvfb(self, env):
        # Two servers starting at once may pick the same free display and one of them gives up: try again.
        for _ in range(3):
            read_end, write_end = os.pipe()
            try:
                proc = self.spawn(['Xvfb', '-displayfd', str(write_end), '-screen', '0', self.size + 'x24', '-nolisten', 'tcp'],
                                  env, pass_fds=[write_end])
            finally:
                os.close(write_end)
            with os.fdopen(read_end) as f:
                number = f.readline().strip()
            if number.isdigit():
                return ':' + number
            self.procs.remove(proc)
            stop_process(proc)
        raise Failure('Xvfb did not tell its display number three times (last got %r)' % number)

    def start_dbus(self, env):
        proc = self.spawn(['dbus-daemon', '--session', '--nofork', '--nopidfile', '--print-address=1'], env, stdout=subprocess.PIPE)
        address = proc.stdout.readline().decode().strip()
        if not address:
            raise Failure('dbus-daemon did not print its address')
        return address

    def start_window_manager(self):
        # Without one, GTK 2 waits about 12 s for _NET_FRAME_EXTENTS on each new window, and nothing activates a window.
        self.spawn(WINDOW_MANAGER, self.env)
        wait_for('the window manager', lambda: 'window id #' in self.run('xprop', '-root', '_NET_SUPPORTING_WM_CHECK', check=False), 20)

    def start_atspi(self):
        self.spawn([AT_SPI_LAUNCHER, '--launch-immediately'], self.env)
        wait_for('the accessibility bus', lambda: self.run('dbus-send', '--session', '--print-reply', '--dest=org.a11y.Bus',
                                                           '/org/a11y/bus', 'org.a11y.Bus.GetAddress', check=False), 20)

    def stop(self):
        """Asks Double Commander to quit (so the plugin sees its unloading), then ends every process started here."""
        if self.main_window and self.doublecmd.poll() is None:
            try:
                self.command('cm_Exit')
                self.doublecmd.wait(3)
            except (Failure, subprocess.TimeoutExpired):
                pass   # a modal window takes no hot keys: it is ended below
        while self.procs:
            stop_process(self.procs.pop())

    # Windows, keys and the clipboard

    def run(self, *args, check=True, input=None):
        proc = subprocess.run(args, env=self.env, capture_output=True, input=input, timeout=60)
        if check and proc.returncode != 0:
            raise Failure('%s failed (%s): %s' % (' '.join(args), proc.returncode, proc.stderr.decode(errors='replace').strip()))
        return proc.stdout.decode(errors='replace')

    def windows(self):
        """(id, title) of every visible window."""
        ids = self.run('xdotool', 'search', '--onlyvisible', '--name', '.', check=False).split()
        return [(w, self.run('xdotool', 'getwindowname', w, check=False).strip()) for w in ids]

    def find_window(self, title_regex):
        """The id of a visible window other than the main one whose title matches, or None. (Not running as root,
        the main window is titled just 'Double Commander', as the host's own questions are.)"""
        ids = self.run('xdotool', 'search', '--onlyvisible', '--name', title_regex, check=False).split()
        return next((w for w in ids if w != self.main_window), None)

    def wait_window(self, title_regex, timeout=20):
        return wait_for('a window titled %r' % title_regex, lambda: self.find_window(title_regex), timeout, 0.1, self.windows)

    def wait_window_gone(self, window, timeout=20):
        wait_for('window %s to close' % window, lambda: window not in [w for w, _ in self.windows()], timeout, 0.1, self.windows)

    def key(self, *keys, window=None):
        """Sends keys to a window, the main one unless told; fails if that window cannot take the focus (a modal one is open)."""
        window = window or self.main_window
        self.check_alive()
        if self.run('xdotool', 'getactivewindow', check=False).strip() != window:
            self.run('xdotool', 'windowactivate', window, check=False)
            wait_for('window %s to take the focus' % window, lambda: self.run('xdotool', 'getactivewindow', check=False).strip() == window,
                     5, 0.05, self.windows)
        self.run('xdotool', 'key', '--clearmodifiers', *keys)

    def check_alive(self):
        """Fails if Double Commander has ended, or caught a crash (of a plugin, say) and shows its error box."""
        if self.doublecmd.poll() is not None:
            raise Failure('Double Commander has ended (exit status %s); its output is in %s/doublecmd.log'
                          % (self.doublecmd.returncode, self.workdir))
        if self.find_window('^Double Commander - Error$'):
            try:
                with open(os.path.join(self.workdir, 'config', 'doublecmd.err'), errors='replace') as f:
                    report = f.read()[-3000:]
            except OSError:
                report = '(no doublecmd.err)'
            raise Failure('Double Commander shows its error box; its report:\n' + report)

    def command(self, name):
        """Runs a Double Commander command through its hot key."""
        self.key(KEY_OF[name])

    def clipboard(self):
        return self.run('xclip', '-o', '-selection', 'clipboard', check=False)

    def set_clipboard(self, text):
        # xclip leaves a child that serves the selection until another owner takes it or the display goes; that
        # child keeps any pipe it inherits open, so its output must not be captured or the call never returns.
        subprocess.run(['xclip', '-i', '-selection', 'clipboard'], env=self.env, input=text.encode(),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True, timeout=20)

    def copy_to_clipboard(self, command, timeout=10, repeat=False):
        """Runs a command that copies text, and returns the text once the clipboard changed."""
        marker = 'dc_driver %s' % time.monotonic()
        self.set_clipboard(marker)
        self.command(command)

        def changed():
            text = self.clipboard()
            if text != marker:
                return text
            if repeat:
                self.command(command)
            return None
        return wait_for(command + ' to fill the clipboard', changed, timeout, 0.5 if repeat else 0.05)

    # Accessibility

    def atspi(self, mode, caption='', window='', timeout=20):
        proc = subprocess.run([DEBIAN_PYTHON, '-c', ATSPI_HELPER, mode, caption, window, str(timeout)],
                              env=self.env, capture_output=True, timeout=timeout + 30)
        if proc.returncode != 0:
            lines = proc.stderr.decode(errors='replace').strip().splitlines() or ['the AT-SPI helper exited with %d' % proc.returncode]
            raise Failure(lines[-1])
        return proc.stdout.decode(errors='replace')

    def click(self, caption, window='', timeout=20):
        """Clicks the push button of that caption ('&' marks may stay in), in the window of that exact title if given."""
        self.atspi('click', plain(caption), window, timeout)

    def fill(self, text, window='', timeout=10):
        """Sets the text of the focused text field, in the window of that exact title if given."""
        self.atspi('fill', text, window, timeout)

    def names_of(self, role, window):
        """The names of the objects of a role ('push button', 'label') in the window of that exact accessible name."""
        lines = [line.strip() for line in self.atspi('dump', '', window, 5).splitlines()]
        return [ast.literal_eval(line[len(role) + 1:]) for line in lines if line.startswith(role + ' ')]

    def buttons(self, window):
        """The captions of the push buttons of the window of that exact title, as the accessibility bus names them."""
        return self.names_of('push button', window)

    def dump(self, window=''):
        """Roles and names of everything accessible, for finding out what a window offers."""
        return self.atspi('dump', '', window, 5)

    # Panels

    def open(self, path, timeout=20):
        """Shows a folder (for example wfx://Tallyrun/photos) in the active panel, entered in its path editor."""
        self.command('cm_EditPath')
        self.fill(path)   # not typed: xdotool cannot type every character on Xvfb's keymap
        self.run('xdotool', 'key', '--clearmodifiers', 'Return')
        seen = []
        wait_for('the panel to show ' + path, lambda: seen.append(self.location()) or seen[-1].rstrip('/') == path.rstrip('/'),
                 timeout, 0.2, lambda: seen[-1])

    def location(self):
        """The active panel's folder, address included: what Double Commander copies as the full name of the '..'
        entry is the folder itself. Every folder but the local root has that entry."""
        self.command('cm_MarkUnmarkAll')
        self.key('Home')
        return self.copy_to_clipboard('cm_CopyFullNamesToClip').splitlines()[0]

    def full_names(self):
        """The full names (wfx://Tallyrun/photos/x.jpg) of the entries of the active panel, without '..'."""
        folder = self.location()
        self.command('cm_MarkMarkAll')
        lines = self.copy_to_clipboard('cm_CopyFullNamesToClip').splitlines()
        self.command('cm_MarkUnmarkAll')
        return [] if lines == [folder] else lines   # nothing to mark: the folder itself was copied

    def names(self):
        """The names the active panel shows, without '..'."""
        return [name.rsplit('/', 1)[1] for name in self.full_names()]

    def details(self):
        """The shown columns of each entry of the active panel, without '..': name, extension, size in bytes with a
        space between thousands ('5 368 709 120', '<DIR>' for a folder), date, attributes."""
        if not self.full_names():
            return []
        self.command('cm_MarkMarkAll')
        text = self.copy_to_clipboard('cm_CopyFileDetailsToClip')
        self.command('cm_MarkUnmarkAll')
        return [line.split('\t') for line in text.splitlines()]

    def mark(self, mask):
        """Marks the entries of the active panel that match a mask (* and ? are wildcards), through the mask prompt."""
        self.command('cm_MarkPlus')
        window = self.wait_window('^Select mask$')
        self.fill(mask, 'Select mask')
        self.key('Return', window=window)
        self.wait_window_gone(window)

    def copy_marked(self, timeout=20):
        """F5 on the marked entries, started from Double Commander's copy dialog, into the other panel's folder.
        Returns once the dialog closed; the copy itself may still ask or run."""
        self.command('cm_Copy')
        window = self.wait_window('^Copy file', timeout)
        self.click('&Start', 'Copy file(s)', timeout)
        self.wait_window_gone(window, timeout)

    # Pictures

    def screenshot(self, path, window=None):
        """Saves the whole screen, or the inside of one window (no title bar), as a PNG."""
        target = ['-id', window] if window else ['-root']
        xwd = subprocess.run(['xwd', '-silent'] + target, env=self.env, capture_output=True, check=True, timeout=60).stdout
        subprocess.run([CONVERT, 'xwd:-', 'png:' + path], input=xwd, check=True, capture_output=True, timeout=60)
        return path
