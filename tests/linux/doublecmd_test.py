# The Linux tallyrun.wfx inside Double Commander under Xvfb: what the panel shows, copies, the prompt, Ctrl, tallyrun.ini.
import datetime
import glob
import hashlib
import os
import re
import shutil
import sys
import tempfile
import time

sys.dont_write_bytecode = True   # no __pycache__ beside the driver in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import dc_driver  # noqa: E402

PROMPT = ['Overwrite', 'Overwrite all', 'Skip', 'Cancel', 'Overwrite all older', 'Skip all']
MEMBERS = ['IMG_%04d.JPG' % i for i in range(1, 13)]
RUN = 'IMG_0001-0012.JPG'
SENTINEL = 'zz_end.txt'   # copied after the run: once it arrives, the run's copy is over
failures = []


def check(what, got, expected):
    ok = got == expected
    print('%s %s%s' % ('ok  ' if ok else 'FAIL', what, '' if ok else ': got %r, expected %r' % (got, expected)))
    if not ok:
        failures.append(what)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(data)


def read(path):
    try:
        with open(path, 'rb') as f:
            return f.read()
    except FileNotFoundError:
        return None


def make_samples(root):
    """A camera card with a sub-folder and a note, and a render with a gap and a number that needs another digit."""
    photos, render = os.path.join(root, 'card', 'DCIM'), os.path.join(root, 'render')
    for i, name in enumerate(MEMBERS, 1):
        write(os.path.join(photos, name), (b'picture %d ' % i) * (1000 + 37 * i))
    write(os.path.join(photos, 'notes.txt'), b'shot at the lake\n')
    write(os.path.join(photos, SENTINEL), b'the end\n')
    write(os.path.join(photos, '.thumbnails'), b'hidden\n')
    os.makedirs(os.path.join(photos, 'edited'))
    for n in (1, 2, 3, 4, 5, 7, 8, 9):
        write(os.path.join(render, 'shotA_%04d.exr' % n), b'frame %d\n' % n)
    for n in (98, 99, 100):
        write(os.path.join(render, 'frame%d.tif' % n), b'frame %d\n' % n)
    write(os.path.join(render, SENTINEL), b'the end\n')
    return photos, render


def make_shoot(root):
    """Six camera frames a minute apart, as a real shoot has them: (folder, names, their times)."""
    shoot = os.path.join(root, 'shoot')
    names = ['SHOT_%04d.JPG' % i for i in range(1, 7)]
    start = datetime.datetime(2026, 11, 28, 14, 2, 0).timestamp()
    times = [start + 60 * k for k in range(len(names))]
    for name, when in zip(names, times):
        write(os.path.join(shoot, name), (b'%s ' % name.encode()) * 100)
        os.utime(os.path.join(shoot, name), (when, when))
    return shoot, names, times


def temporary_copies():
    """What Double Commander copied into its temporary folders (for F3 on a plugin's file, without local names)."""
    return sorted(p for d in glob.glob(os.path.join(tempfile.gettempdir(), '_dc*')) for p in glob.glob(d + '/**', recursive=True)
                  if os.path.isfile(p))


def view_and_close(dc, name, real_path, picture=None):
    """F3 on one entry: the viewer's window title, once it names the real file; the viewer is closed again."""
    # The viewer takes the entry under the cursor: Home is '..', each Down the next entry in panel order.
    steps = dc.names().index(name) + 1
    dc.key('Home')
    dc.key(*(['Down'] * steps))
    dc.command('cm_View')
    window = dc.wait_window(re.escape(real_path))
    title = dict(dc.windows()).get(window, '')
    if picture:
        dc.screenshot(picture, window)
    dc.key('alt+F4', window=window)   # the window manager closes it, as the close box would
    dc.wait_window_gone(window)
    return title


def snapshot(root):
    found = {}
    for folder, _, files in os.walk(root):
        for name in files:
            path = os.path.join(folder, name)
            found[os.path.relpath(path, root)] = hashlib.sha1(read(path)).hexdigest()
    return found


def members_in(target):
    return {name: read(os.path.join(target, name)) for name in MEMBERS}


def originals(photos):
    return {name: read(os.path.join(photos, name)) for name in MEMBERS}


def prompt_buttons(dc):
    # The prompt has one more button, out of sight and without a caption: the one that takes Escape.
    return [b for b in dc.buttons('Tallyrun') if b]


def copy_run_and_answer(dc, target, answer, picture=None):
    """F5 on the run and the sentinel, the plugin's prompt answered by caption (or by a key); True once the copy is over."""
    if os.path.exists(os.path.join(target, SENTINEL)):
        os.remove(os.path.join(target, SENTINEL))
    dc.mark(RUN)
    dc.mark(SENTINEL)
    dc.copy_marked()
    window = dc.wait_window('^Tallyrun$')
    check('the prompt shows the six buttons of the Windows prompt', prompt_buttons(dc), PROMPT)
    if picture:
        dc.screenshot(picture, window)
    if answer == 'Escape':
        dc.key('Escape', window=window)
    else:
        dc.click(answer, 'Tallyrun')
    dc.wait_window_gone(window)


def wait_sentinel(target):
    dc_driver.wait_for('the copy to end with ' + SENTINEL, lambda: os.path.exists(os.path.join(target, SENTINEL)), 20,
                       seen=lambda: sorted(os.listdir(target)))


def main():
    if len(sys.argv) != 3:
        sys.exit('usage: doublecmd_test.py PLUGIN.wfx ARTIFACT_FOLDER')
    plugin, artifacts = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    os.makedirs(artifacts, exist_ok=True)
    started = time.monotonic()
    work = tempfile.mkdtemp(prefix='tallyrun-dc.')
    samples = os.path.join(work, 'samples')
    photos, render = make_samples(samples)
    shoot, shots_taken, shot_times = make_shoot(samples)
    before = snapshot(samples)
    target = os.path.join(work, 'target')
    config = os.path.join(work, 'dc', 'config')   # the plugin's configuration folder: the host's own
    try:
        with dc_driver.DoubleCommander(plugin, 'Tallyrun', right=target, workdir=os.path.join(work, 'dc')) as dc:
            print('Double Commander ready after %.1f s' % (time.monotonic() - started))
            dc.open('wfx://Tallyrun' + photos)
            check('the camera card as the panel shows it', dc.names(), ['edited', RUN, 'notes.txt', SENTINEL])
            sizes = {row[0] + '.' + row[1]: row[2] for row in dc.details()}
            total = sum(len(v) for v in originals(photos).values())
            check("the run's size is its members' total", sizes.get(RUN), '{:,}'.format(total).replace(',', ' '))
            panel = dc.screenshot(os.path.join(artifacts, 'doublecmd-panel.png'), dc.main_window)

            dc.open('wfx://Tallyrun' + render)
            check('a render with a gap, and frame100 beside frame98-99', sorted(dc.names()),
                  ['frame100.tif', 'frame98-99.tif', 'shotA_0001-0005.exr', 'shotA_0007-0009.exr', SENTINEL])
            shots = ['shotA_%04d.exr' % n for n in (7, 8, 9)]
            for name in shots:
                write(os.path.join(target, name), b'old\n')
            dc.mark('shotA_0007-0009.exr')
            dc.mark(SENTINEL)
            dc.copy_marked()
            for name in shots:   # Enter on each prompt: the first button, Overwrite, has the focus
                prompt = dc.wait_window('^Tallyrun$')
                dc.key('Return', window=prompt)
                dc.wait_window_gone(prompt)
            wait_sentinel(target)
            check('Enter overwrites, one member at a time', {n: read(os.path.join(target, n)) for n in shots},
                  {n: read(os.path.join(render, n)) for n in shots})
            for name in shots + [SENTINEL]:
                os.remove(os.path.join(target, name))
            # A shoot of six frames a minute apart: a date within their span, and F5 copies every frame.
            dc.open('wfx://Tallyrun' + shoot)
            shoot_run = 'SHOT_0001-0006.JPG'
            check('a shoot of many times lists as one run', dc.names(), [shoot_run])
            shown = {row[0] + '.' + row[1]: row[3] for row in dc.details()}.get(shoot_run, '')
            when = datetime.datetime.strptime(shown, '%m/%d/%y %H:%M:%S').timestamp() if shown else 0
            check('its date (%s) is within the shoot\'s span' % shown, shot_times[0] <= when <= shot_times[-1], True)
            check("and is its newest member's", when, shot_times[-1])
            dc.mark(shoot_run)
            dc.copy_marked()
            dc_driver.wait_for('the six frames', lambda: all(os.path.exists(os.path.join(target, n)) for n in shots_taken), 20,
                               seen=lambda: sorted(os.listdir(target)))
            check('F5 on the shoot: every frame arrives byte for byte', {n: read(os.path.join(target, n)) for n in shots_taken},
                  {n: read(os.path.join(shoot, n)) for n in shots_taken})
            for name in shots_taken:
                os.remove(os.path.join(target, name))
            # F3 opens the real file in place: a run's first member, a single file itself; nothing is copied out.
            temporary_before = temporary_copies()
            title = view_and_close(dc, shoot_run, os.path.join(shoot, shots_taken[0]), os.path.join(artifacts, 'doublecmd-viewer.png'))
            check("F3 on a run: the viewer shows its first member's real file", os.path.join(shoot, shots_taken[0]) in title, True)
            dc.open('wfx://Tallyrun' + photos)
            title = view_and_close(dc, 'notes.txt', os.path.join(photos, 'notes.txt'))
            check('F3 on a single file: the viewer shows the file itself', os.path.join(photos, 'notes.txt') in title, True)
            check("nothing was copied into Double Commander's temporary folder", temporary_copies(), temporary_before)

            dc.open('wfx://Tallyrun/')
            check("the plugin's root is the real root folder", set(dc.names()),
                  {n for n in os.listdir('/') if not n.startswith('.')})

            dc.open('wfx://Tallyrun' + photos)
            dc.mark(RUN)
            dc.copy_marked()
            dc_driver.wait_for('the twelve members', lambda: all(members_in(target).values()), 20, seen=lambda: sorted(os.listdir(target)))
            check('F5 on the run: every member arrives byte for byte', members_in(target), originals(photos))
            check('and nothing else', sorted(os.listdir(target)), MEMBERS)

            for name in MEMBERS:
                write(os.path.join(target, name), b'old\n')
            copy_run_and_answer(dc, target, 'S&kip all', os.path.join(artifacts, 'doublecmd-prompt.png'))
            wait_sentinel(target)
            check('Skip all keeps every existing member', members_in(target), {m: b'old\n' for m in MEMBERS})
            copy_run_and_answer(dc, target, 'Overwrite &all')
            wait_sentinel(target)
            check('Overwrite all replaces every member', members_in(target), originals(photos))

            for name in MEMBERS:
                write(os.path.join(target, name), b'old\n')
            copy_run_and_answer(dc, target, 'Escape')
            dc.location()   # the main window answers again: the copy has ended
            dc_driver.wait_for('the copy to be gone', lambda: not [t for _, t in dc.windows() if 'Copying' in t], 20, seen=dc.windows)
            check('Escape cancels the whole copy', (members_in(target), os.path.exists(os.path.join(target, SENTINEL))),
                  ({m: b'old\n' for m in MEMBERS}, False))

            for name in MEMBERS:
                os.remove(os.path.join(target, name))
            dc.mark(RUN)
            dc.command('cm_Copy')
            window = dc.wait_window('^Copy file')
            dc.run('xdotool', 'keydown', 'Control_L')   # held as the copy starts
            try:
                dc.click('&Start', 'Copy file(s)')
                dc.wait_window_gone(window)
                listed = os.path.join(target, RUN + '.lst')
                dc_driver.wait_for('the list file', lambda: os.path.exists(listed), 20, seen=lambda: sorted(os.listdir(target)))
            finally:
                dc.run('xdotool', 'keyup', 'Control_L')
            lines = read(listed).decode().splitlines()
            check('Ctrl held: a list file instead of a copy', sorted(os.listdir(target)), [RUN + '.lst'])
            check('the list names the folder and every member', [lines[0]] + [line.split('\t')[0] for line in lines[1:]],
                  [photos + '/'] + MEMBERS)

            write(os.path.join(config, 'tallyrun.ini'), b'[Options]\nseqpattern=%d\n')
            dc.command('cm_Refresh')
            box = dc.wait_window('^Tallyrun$')
            # The host's message box is a GTK alert; the accessibility bus calls it by its icon's name.
            check("a faulty tallyrun.ini in the host's configuration folder: the Windows message in the host's box",
                  [text for text in dc.names_of('label', 'Warning') if text],
                  ["Error in file '%s/tallyrun.ini' :\nSection 'Options' : Key 'seqpattern' cannot take value '%%d'." % config])
            # Fixed before the box goes, so that no later listing reads the faulty one.
            write(os.path.join(config, 'tallyrun.ini'), b'[Options]\nseqpattern=%s..%s\n')
            dc.click('OK', 'Warning')
            dc.wait_window_gone(box)
            dc.command('cm_Refresh')
            check('and a good one is read from there', dc.names(), ['edited', 'IMG_0001..0012.JPG', 'notes.txt', SENTINEL])
        check('the source folders never change', snapshot(samples), before)
    finally:
        if failures or sys.exc_info()[0]:
            print('the samples and the logs are kept in', work)
        else:
            shutil.rmtree(work, ignore_errors=True)
    print('pictures: %s, %s' % (panel, os.path.join(artifacts, 'doublecmd-prompt.png')))
    print('took %.1f s' % (time.monotonic() - started))
    if failures:
        sys.exit('%d checks failed: %s' % (len(failures), '; '.join(failures)))
    print('all checks passed')


if __name__ == '__main__':
    main()
