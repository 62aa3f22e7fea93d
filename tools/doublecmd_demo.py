# make demo's Linux part: the Linux tallyrun.wfx in Double Commander under Xvfb, on one sample folder.
# usage: doublecmd_demo.py PLUGIN.wfx FOLDER RUN TARGET PICTURE
import os
import sys

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'linux'))
import dc_driver  # noqa: E402


def main():
    plugin, folder, run, target, picture = sys.argv[1:6]
    with dc_driver.DoubleCommander(os.path.abspath(plugin), 'Tallyrun', right=os.path.abspath(target)) as dc:
        dc.open('wfx://Tallyrun' + os.path.abspath(folder))
        print('the panel wfx://Tallyrun%s, as Double Commander shows it:' % os.path.abspath(folder))
        for row in dc.details():
            print('    %-24s %16s' % (row[0] + ('.' + row[1] if row[1] else ''), row[2]))
        dc.mark(run)
        dc.copy_marked()
        # The host copies on its main window's thread: once that answers again, the copy is over.
        dc.location()
        dc_driver.wait_for('the copy to be gone', lambda: not [t for _, t in dc.windows() if 'Copying' in t], 30,
                           seen=dc.windows)
        # The picture shows both panels: the run, and the members it became.
        dc.command('cm_FocusSwap')
        copied = sorted(os.listdir(target))
        dc_driver.wait_for('the target panel to show the copies', lambda: dc.names() == copied, 20, 0.2, dc.names)
        dc.command('cm_FocusSwap')
        dc.screenshot(os.path.abspath(picture), dc.main_window)


if __name__ == '__main__':
    main()
