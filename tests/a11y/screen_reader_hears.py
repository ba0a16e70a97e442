#!/usr/bin/python3
"""What a screen reader hears of the panel, through AT-SPI as it hears it.

    screen_reader_hears.py PANEL SIM

Runs inside its own D-Bus session (dbus-run-session) with the accessibility
bus on: Xvfb, the simulator on a pseudo-terminal, which stops answering for
a while after a number of requests, and the panel on it. Drives the panel
through AT-SPI actions only and listens to the events a screen reader
listens to. Checks that the drop-down lists are named by their captions,
that no two things shown in the main window have one name, that a tool
window is a window, and that a refused write, a lost link and its return
are announced (an alert shown). Every wait is bounded.
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
TITLE = "计数测频模块 TQ7310 测试程序"
heard = []  # the words of every alert shown
procs = []
work = tempfile.mkdtemp()


def stop_all():
    for p in reversed(procs):
        p.kill()
        p.wait()
    shutil.rmtree(work, ignore_errors=True)


def fail(why):
    print("FAIL:", why, file=sys.stderr)
    stop_all()
    sys.exit(1)


def start(args, **kw):
    p = subprocess.Popen(args, **kw)
    procs.append(p)
    return p


def pump_until(condition, seconds, what):
    """Runs the event loop until condition() holds; fails after `seconds`."""
    context = GLib.MainContext.default()
    end = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > end:
            fail("waited %d s for %s; alerts heard: %s" % (seconds, what, heard))
        context.iteration(False)
        time.sleep(0.02)


def find(root, predicate):
    found = []

    def walk(node, depth):
        if node is None or depth > 30:
            return
        try:
            if predicate(node):
                found.append(node)
            for i in range(node.childCount):
                walk(node.getChildAtIndex(i), depth + 1)
        except Exception:
            pass

    walk(root, 0)
    return found


def window_named(prefix):
    for app in pyatspi.Registry.getDesktop(0):
        if app is None:
            continue
        for i in range(app.childCount):
            w = app.getChildAtIndex(i)
            if w is not None and w.name.startswith(prefix):
                return w
    return None


def press(root, name):
    buttons = find(root, lambda n: n.getRole() == pyatspi.ROLE_PUSH_BUTTON and n.name == name)
    if not buttons:
        fail("no button named %r" % name)
    action = buttons[0].queryAction()
    action.doAction(0)


def on_showing(event):
    if event.detail1 == 1 and event.source.getRole() == pyatspi.ROLE_ALERT:
        heard.append(event.source.name)


def main():
    display_file = os.path.join(work, "display")
    with open(display_file, "w") as out:
        start(["Xvfb", "-displayfd", str(out.fileno()), "-screen", "0", "1366x768x24",
               "-nolisten", "tcp"], pass_fds=(out.fileno(),), stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 15
    while not open(display_file).read().strip():
        if time.monotonic() > deadline:
            fail("Xvfb did not start")
        time.sleep(0.1)
    env = dict(os.environ, DISPLAY=":" + open(display_file).read().strip(),
               QT_ACCESSIBILITY="1", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
               QT_QPA_PLATFORM="xcb", TQ7310_COM1=os.path.join(work, "sim.pty"),
               XDG_CONFIG_HOME=work)
    env.pop("WAYLAND_DISPLAY", None)
    # Answers 60 requests, then nothing for 4 s, then again.
    start([SIM, "--link", env["TQ7310_COM1"], "--mute-after", "60:4000"],
          stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 15
    while not os.path.exists(env["TQ7310_COM1"]):
        if time.monotonic() > deadline:
            fail("the simulator did not start")
        time.sleep(0.1)
    pyatspi.Registry.registerEventListener(on_showing, "object:state-changed:showing")
    start([PANEL], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    window = None

    def main_window():
        nonlocal window
        window = window_named(TITLE)
        return window is not None

    pump_until(main_window, 60, "the main window")

    combos = {n.name for n in find(window, lambda n: n.getRole() == pyatspi.ROLE_COMBO_BOX)}
    for caption in ("通讯端口", "模块地址", "DI1 Function 功能"):
        if caption not in combos:
            fail("no drop-down list named %r among %s" % (caption, sorted(combos)))
    names = {}
    # A drop-down list and its own edit line are one control.
    for n in find(window, lambda n: n.getState().contains(pyatspi.STATE_SHOWING) and n.name
                  and n.getRole() not in (pyatspi.ROLE_FRAME, pyatspi.ROLE_ALERT)
                  and n.parent.getRole() != pyatspi.ROLE_COMBO_BOX):
        names.setdefault(n.name.strip(), []).append(n.getRoleName())
    twins = {k: v for k, v in names.items() if len(v) > 1}
    if twins:
        fail("names heard twice: %s" % twins)

    press(window, "打开")
    # Refused before sending: a preset beyond 16 bits.
    preset = find(window, lambda n: n.name == "DO1计数预置值 新值"
                  and n.getRole() == pyatspi.ROLE_TEXT)
    if not preset:
        fail("no text box named 'DO1计数预置值 新值'")
    preset[0].queryEditableText().setTextContents("99999999")
    press(window, "修改 DO1计数预置值")
    pump_until(lambda: any("超出范围，未写入" in w for w in heard), 20, "the refused write")
    pump_until(lambda: any(w.startswith("通讯故障") for w in heard), 60, "the lost link")
    pump_until(lambda: any(w.startswith("通讯恢复") for w in heard), 60, "the link's return")

    press(window, "通讯记录")
    traffic = None

    def traffic_window():
        nonlocal traffic
        traffic = window_named("通讯记录")
        return traffic is not None

    pump_until(traffic_window, 20, "the 通讯记录 window")
    if traffic.getRole() not in (pyatspi.ROLE_FRAME, pyatspi.ROLE_WINDOW):
        fail("通讯记录 has the role %s" % traffic.getRoleName())
    print("heard:", heard)
    stop_all()


main()
