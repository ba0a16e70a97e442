#!/usr/bin/python3
"""What a screen reader hears of the panel, through AT-SPI as it hears it.

    dbus-run-session -- screen_reader_hears.py PANEL SIM

The panel on Xvfb, its accessibility bus on, against the simulator, which
goes silent for 4 s after 60 requests; driven by AT-SPI actions only.
Checks the lists' names, that nothing shown in the main window is named
twice, a tool window's role, and that a refused write, a lost link and its
return are announced (an alert coming into sight). Every wait is bounded.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

import pyatspi
from gi.repository import GLib

PANEL, SIM = sys.argv[1], sys.argv[2]
work = tempfile.mkdtemp()
procs, heard = [], []  # heard: the words of every alert shown


def stop_all(why=None):
    for p in reversed(procs):
        p.kill()
        p.wait()
    shutil.rmtree(work, ignore_errors=True)
    if why:
        sys.exit("FAIL: %s; alerts heard: %s" % (why, heard))


def wait_for(condition, seconds, what):
    """Runs the event loop until condition() gives something; fails after `seconds`."""
    end = time.monotonic() + seconds
    while True:
        try:
            found = condition()
        except Exception:  # an object gone while it was walked: look again
            found = None
        if found:
            return found
        if time.monotonic() > end:
            stop_all("waited %d s for %s" % (seconds, what))
        GLib.MainContext.default().iteration(False)
        time.sleep(0.02)


def find(node, predicate, depth=0):
    found = [node] if predicate(node) else []
    for i in range(node.childCount if depth < 30 else 0):
        child = node.getChildAtIndex(i)
        found += find(child, predicate, depth + 1) if child is not None else []
    return found


def window_named(prefix):
    return next((w for app in pyatspi.Registry.getDesktop(0) if app is not None for w in app
                 if w is not None and w.name.startswith(prefix)), None)


def press(root, name):
    buttons = find(root, lambda n: n.getRole() == pyatspi.ROLE_PUSH_BUTTON and n.name == name)
    buttons or stop_all("no button named %r" % name)
    buttons[0].queryAction().doAction(0)


def on_showing(event):
    if event.detail1 == 1 and event.source.getRole() == pyatspi.ROLE_ALERT:
        heard.append(event.source.name)


def main():
    display = os.path.join(work, "display")
    with open(display, "w") as out:
        procs.append(subprocess.Popen(["Xvfb", "-displayfd", str(out.fileno()), "-screen", "0",
                                       "1366x768x24", "-nolisten", "tcp"],
                                      pass_fds=(out.fileno(),), stderr=subprocess.DEVNULL))
    wait_for(lambda: open(display).read().strip(), 15, "Xvfb")
    link = os.path.join(work, "sim.pty")
    procs.append(subprocess.Popen([SIM, "--link", link, "--mute-after", "60:4000"],
                                  stdin=subprocess.PIPE, stdout=subprocess.DEVNULL))
    wait_for(lambda: os.path.exists(link), 15, "the simulator")
    pyatspi.Registry.registerEventListener(on_showing, "object:state-changed:showing")
    env = dict(os.environ, DISPLAY=":" + open(display).read().strip(), QT_QPA_PLATFORM="xcb",
               QT_ACCESSIBILITY="1", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", TQ7310_COM1=link,
               XDG_CONFIG_HOME=work)
    procs.append(subprocess.Popen([PANEL], env=env, stdout=subprocess.DEVNULL))
    window = wait_for(lambda: window_named("计数测频模块 TQ7310 测试程序"), 60, "the main window")

    lists = {n.name for n in find(window, lambda n: n.getRole() == pyatspi.ROLE_COMBO_BOX)}
    for caption in ("通讯端口", "模块地址", "DI1 Function 功能"):
        caption in lists or stop_all("no list named %r among %s" % (caption, sorted(lists)))
    names = {}
    # A list and its own edit line are one control.
    for n in find(window, lambda n: n.name and n.getState().contains(pyatspi.STATE_SHOWING)
                  and n.getRole() not in (pyatspi.ROLE_FRAME, pyatspi.ROLE_ALERT)
                  and n.parent.getRole() != pyatspi.ROLE_COMBO_BOX):
        names.setdefault(n.name.strip(), []).append(n.getRoleName())
    twins = {name: roles for name, roles in names.items() if len(roles) > 1}
    twins and stop_all("names heard twice: %s" % twins)

    press(window, "打开")
    preset = find(window, lambda n: n.name == "DO1计数预置值 新值"
                  and n.getRole() == pyatspi.ROLE_TEXT)
    preset or stop_all("no text box named 'DO1计数预置值 新值'")
    preset[0].queryEditableText().setTextContents("99999999")  # beyond 16 bits
    press(window, "修改 DO1计数预置值")
    wait_for(lambda: any("超出范围，未写入" in w for w in heard), 20, "the refused write")
    wait_for(lambda: any(w.startswith("通讯故障") for w in heard), 60, "the lost link")
    wait_for(lambda: any(w.startswith("通讯恢复") for w in heard), 60, "the link's return")

    press(window, "通讯记录")
    traffic = wait_for(lambda: window_named("通讯记录"), 20, "the 通讯记录 window")
    if traffic.getRole() not in (pyatspi.ROLE_FRAME, pyatspi.ROLE_WINDOW):
        stop_all("通讯记录 has the role %s" % traffic.getRoleName())
    print("heard:", heard)
    stop_all()


main()
