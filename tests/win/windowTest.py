#!/usr/bin/python3
"""Drives twinframe.exe under Wine on a virtual X display as a person would: keys and clicks,
answering each message box, and checks that the window writes byte for byte what
twinframe-cli.exe writes.

usage: windowTest.py WINDOW_EXE CLI_EXE MAKE_DEMO (twinframe-make-demo, for Wine or not)
"""
import filecmp
import os
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

window_exe, cli_exe, make_demo_exe = (os.path.abspath(a) for a in sys.argv[1:4])
work = Path(tempfile.mkdtemp(prefix="twinframe-window-"))
# A fresh Wine prefix of its own, with its own wineserver: a window started in the build's prefix,
# whose services the other tests started with no display, is never shown on this test's display.
prefix = str(work / "prefix")
own_prefix = True
env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all",
           WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml=")
started = []
failures = []


def check(condition, what):
    print(("ok     " if condition else "FAILED ") + what, flush=True)
    if not condition:
        failures.append(what)


def wine(*arguments, cwd=None):
    subprocess.run(["wine", *arguments], env=env, cwd=cwd, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


def start_display():
    read, write = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24",
                               "-nolisten", "tcp"], pass_fds=[write],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write)
    with os.fdopen(read) as display:
        env["DISPLAY"] = ":" + display.readline().strip()
    return server


def xdotool(*arguments):
    result = subprocess.run(["xdotool", *arguments], env=env, capture_output=True, text=True)
    return result.stdout.split()


def twinframe_windows():
    return xdotool("search", "--onlyvisible", "--name", "^Twinframe$")


def wait_for(condition, seconds=60):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.3)
    return None


def answer_boxes(main, count, seconds=60):
    """Answers count message boxes with Return, one after the other; returns how many came."""
    seen = set()
    for _ in range(count):
        box = wait_for(lambda: [w for w in twinframe_windows() if w != main and w not in seen],
                       seconds)
        if not box:
            return len(seen)
        seen.add(box[0])
        time.sleep(0.5)
        xdotool("windowfocus", "--sync", box[0])
        xdotool("key", "Return")
        wait_for(lambda: box[0] not in twinframe_windows(), 20)
    return len(seen)


def answer_each_alone(main, count, key="Return", seconds=60):
    """Answers count boxes with key, one after the other, each the only box on screen while it
    shows; returns how many came alone, or -1 when boxes were on screen at once."""
    answered = 0
    for _ in range(count):
        boxes = wait_for(lambda: [w for w in twinframe_windows() if w != main], seconds)
        if not boxes:
            return answered
        time.sleep(0.8)  # a box that does not hold the batch has others over it by now
        boxes = [w for w in twinframe_windows() if w != main]
        if len(boxes) != 1:
            return -1
        xdotool("windowfocus", "--sync", boxes[0])
        xdotool("key", key)
        wait_for(lambda: boxes[0] not in twinframe_windows(), 20)
        answered += 1
    return answered


def start_window(folder, *arguments):
    process = subprocess.Popen(["wine", window_exe, *arguments], env=env, cwd=folder,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    started.append(process)
    main = wait_for(twinframe_windows, 180)  # Wine's first start in a busy prefix is slow
    assert main, "the window did not show"
    return process, main[0]


def jpegs(folder):
    return sorted(p.name for p in folder.iterdir() if p.suffix == ".jpg")


def same_outputs(folder, names, reference):
    return jpegs(folder) == sorted(names) and all(
        filecmp.cmp(folder / name, reference / name, shallow=False) for name in names)


def close(process, main):
    xdotool("windowfocus", "--sync", main)
    xdotool("key", "alt+F4")
    try:
        process.wait(timeout=30)
        return True
    except subprocess.TimeoutExpired:
        process.kill()
        return False


display = start_display()
try:
    if own_prefix:
        subprocess.run(["wineboot", "-i"], env=env, check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
    for name in ("keys", "arguments", "reference"):
        if make_demo_exe.endswith(".exe"):
            wine(make_demo_exe, windows_path(work / name))
        else:
            subprocess.run([make_demo_exe, work / name], check=True, stdout=subprocess.DEVNULL)
    reference = work / "reference"
    shutil.copy(reference / "DSCF0001.MPO", reference / "Café 日本 3D.MPO")
    mpo_names = sorted(p.name for p in reference.iterdir() if p.suffix.lower() == ".mpo")
    subprocess.run(["wine", cli_exe, "--quiet", *mpo_names], env=env, cwd=reference,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    check(len(jpegs(reference)) >= 9, "twinframe-cli.exe wrote the reference outputs")

    # The lists start on the current folder with the focus on the drive list: Tab twice to
    # the file list, Ctrl+A, Return for GO!; the bad file's message, then the summary. A file
    # put in the folder while the window is open is listed by then.
    keys = work / "keys"
    process, main = start_window(keys)
    shutil.copy(keys / "DSCF0001.MPO", keys / "Café 日本 3D.MPO")
    time.sleep(2)
    xdotool("windowfocus", "--sync", main)
    xdotool("key", "--delay", "150", "Tab", "Tab", "ctrl+a", "Return")
    check(answer_boxes(main, 2) == 2, "keys: one message for the bad file, then the summary")
    check(same_outputs(keys, jpegs(reference), reference),
          "keys: every file split, the one added meanwhile too, as twinframe-cli splits them")
    check(answer_boxes(main, 1, seconds=3) == 0, "keys: no further message")
    check(close(process, main), "keys: Alt+F4 closes the window and ends the program")

    # Escape right after GO! stops the batch once its first file (burst.mpo) is split: the
    # second file down to the last are selected, after the bad one.
    stop = work / "stop"
    shutil.copytree(keys, stop, ignore=shutil.ignore_patterns("*.jpg"))
    process, main = start_window(stop)
    time.sleep(1)
    xdotool("windowfocus", "--sync", main)
    xdotool("key", "--delay", "150", "Tab", "Tab", "Home", "Down", "shift+End")
    xdotool("key", "--delay", "0", "Return", "Escape")
    check(answer_boxes(main, 1) == 1, "Escape: the summary")
    check(same_outputs(stop, ["burst-1.jpg", "burst-2.jpg", "burst-3.jpg"], reference),
          "Escape: the first file wholly split, the others untouched")
    check(close(process, main), "Escape: the window closes")

    # Batch after batch in one window, "No files selected" first: each box holds its batch and is
    # alone on screen, the summary last. After a box the focus is back on the file list, not on
    # the speed hack's check box, where the Space pressed next would tick it (and the speed hack
    # would then split burst.mpo in two and find single.mpo too small).
    batches = work / "batches"
    shutil.copytree(keys, batches, ignore=shutil.ignore_patterns("*.jpg", "Café*"))
    process, main = start_window(batches)
    time.sleep(1)
    xdotool("windowfocus", "--sync", main)
    xdotool("key", "--delay", "150", "Tab", "Tab", "Return")
    check(answer_each_alone(main, 1) == 1, "batches: No files selected, alone")
    check(answer_boxes(main, 1, seconds=3) == 0, "batches: no summary after No files selected")
    xdotool("windowfocus", "--sync", main)
    xdotool("key", "--delay", "150", "space", "ctrl+a", "Return")
    check(answer_each_alone(main, 2) == 2,
          "batches: the bad file's message, then the summary, each alone")
    check(answer_boxes(main, 1, seconds=3) == 0, "batches: no third box")
    demo_outputs = [name for name in jpegs(reference) if not name.startswith("Café")]
    check(same_outputs(batches, demo_outputs, reference),
          "batches: split as twinframe-cli splits them, the speed hack still off")
    # GO! was pressed with Return from the file list, and both boxes of that batch were answered
    # with Return: the focus is back on the file list, so the Space now reselects there (Ctrl+A
    # then selects all again) and does not tick the speed hack, which would make the third batch
    # split burst.mpo in two and find single.mpo too small.
    for output in batches.glob("*.jpg"):
        output.unlink()
    xdotool("windowfocus", "--sync", main)
    xdotool("key", "--delay", "150", "space", "ctrl+a", "Return")
    check(answer_each_alone(main, 2) == 2, "batches: the third batch's boxes each alone")
    check(same_outputs(batches, demo_outputs, reference),
          "batches: the third batch split them all again, Space after the boxes left the speed "
          "hack off")
    check(close(process, main), "batches: the window closes")

    # Escape on a box answers it and stops the batch after that box's file (bad-on-purpose.mpo,
    # the second of six after a.MPO); the summary follows.
    escape = work / "escape"
    shutil.copytree(batches, escape, ignore=shutil.ignore_patterns("*.jpg"))
    shutil.copy(escape / "DSCF0001.MPO", escape / "a.MPO")
    process, main = start_window(escape)
    time.sleep(1)
    xdotool("windowfocus", "--sync", main)
    xdotool("key", "--delay", "150", "Tab", "Tab", "ctrl+a", "Return")
    check(answer_each_alone(main, 1, key="Escape") == 1, "Escape on a box: the bad file's message")
    check(answer_each_alone(main, 1) == 1, "Escape on a box: the summary")
    check(jpegs(escape) == ["a-L.jpg", "a-R.jpg"] and
          filecmp.cmp(escape / "a-R.jpg", reference / "DSCF0001-R.jpg", shallow=False),
          f"Escape on a box: the file before it split, the ones after it untouched {jpegs(escape)}")
    check(close(process, main), "Escape on a box: the window closes")

    # Closing the window while a box shows answers the box, stops the batch after that box's
    # file and closes. The close is the window manager's (its button, Alt+F4): openbox runs for
    # this part, and wmctrl asks it to close the window, as its close button does.
    closing = work / "closing"
    shutil.copytree(escape, closing, ignore=shutil.ignore_patterns("*.jpg"))
    manager = subprocess.Popen(["openbox"], env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    started.append(manager)
    time.sleep(1)
    process, main = start_window(closing)
    time.sleep(1)
    xdotool("windowactivate", "--sync", main)
    xdotool("key", "--delay", "150", "Tab", "Tab", "ctrl+a", "Return")
    box = wait_for(lambda: [w for w in twinframe_windows() if w != main], 60)
    check(bool(box), "closing: the bad file's message")
    time.sleep(0.5)
    subprocess.run(["wmctrl", "-i", "-c", main], env=env, check=True)
    try:
        process.wait(timeout=30)
        ended = True
    except subprocess.TimeoutExpired:
        ended = False
    check(ended, "closing: the window closes with the message on show")
    check(jpegs(closing) == ["a-L.jpg", "a-R.jpg"],
          f"closing: the file before the message split, the ones after it untouched "
          f"{jpegs(closing)}")
    manager.terminate()
    manager.wait()

    # Files on the command line are selected, the one that is no .mpo file is named in a
    # message; then a click on GO! and the summary.
    arguments = work / "arguments"
    shutil.copy(arguments / "DSCF0001.MPO", arguments / "Café 日本 3D.MPO")
    process, main = start_window(arguments, windows_path(arguments / "Café 日本 3D.MPO"),
                                 windows_path(arguments / "burst.mpo"),
                                 windows_path(arguments / "README.txt"))
    check(answer_boxes(main, 1) == 1, "arguments: one message naming README.txt")
    geometry = dict(line.split("=") for line in subprocess.run(
        ["xdotool", "getwindowgeometry", "--shell", main], env=env, capture_output=True,
        text=True).stdout.split())
    width, height = int(geometry["WIDTH"]), int(geometry["HEIGHT"])
    # The middle of GO!, in the window's own layout of 5055 by 3975 twips.
    xdotool("mousemove", "--window", main, str(width * (2640 + 2295 // 2) // 5055),
            str(height * (3360 + 495 // 2) // 3975))
    xdotool("click", "1")
    check(answer_boxes(main, 1) == 1, "arguments: the summary after a click on GO!")
    check(same_outputs(arguments, ["Café 日本 3D-L.jpg", "Café 日本 3D-R.jpg", "burst-1.jpg",
                                   "burst-2.jpg", "burst-3.jpg"], reference),
          "arguments: only the given .mpo files split, a Unicode name included")
    check(close(process, main), "arguments: the window closes")

    # "Open with" on three files, Explorer starting the program once for each, at once: one
    # window shows, the two later processes hand it their file and end without a window, and the
    # three files are selected together, so that GO! (Return) splits those three only.
    together = work / "together"
    shutil.copytree(keys, together, ignore=shutil.ignore_patterns("*.jpg"))
    given = ["DSCF0001.MPO", "burst.mpo", "Café 日本 3D.MPO"]
    processes = [subprocess.Popen(["wine", window_exe, windows_path(together / name)], env=env,
                                  cwd=work, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                 for name in given]
    started.extend(processes)
    main = wait_for(twinframe_windows, 180)
    check(bool(wait_for(lambda: sum(p.poll() is not None for p in processes) == 2, 120)),
          "together: two of the three processes end by themselves")
    time.sleep(2)
    windows = twinframe_windows()
    check(len(windows) == 1, f"together: one window for the three files ({len(windows)})")
    owner = next((p for p in processes if p.poll() is None), processes[0])
    if windows:
        main = windows[0]
        xdotool("windowfocus", "--sync", main)
        xdotool("key", "Return")
        check(answer_boxes(main, 1) == 1, "together: the summary")
        check(same_outputs(together, ["DSCF0001-L.jpg", "DSCF0001-R.jpg", "burst-1.jpg",
                                      "burst-2.jpg", "burst-3.jpg", "Café 日本 3D-L.jpg",
                                      "Café 日本 3D-R.jpg"], reference),
              f"together: the three files split, and no other {jpegs(together)}")
        check(close(owner, main), "together: the window closes")
    for process in processes:
        if process.poll() is None:
            process.kill()

    # A file handed off while a batch runs (its box on bad-on-purpose.mpo holds it) waits: the
    # process that brought it ends without a window, the batch splits just what was selected at
    # GO!, and then the handed-off file is selected, alone, for the next GO!.
    during = work / "during"
    shutil.copytree(keys, during, ignore=shutil.ignore_patterns("*.jpg"))
    process, main = start_window(during, windows_path(during / "bad-on-purpose.mpo"),
                                 windows_path(during / "DSCF0001.MPO"))
    time.sleep(1)
    xdotool("windowfocus", "--sync", main)
    xdotool("key", "Return")
    box = wait_for(lambda: [w for w in twinframe_windows() if w != main], 60)
    check(bool(box), "during: the bad file's message holds the batch")
    late = subprocess.Popen(["wine", window_exe, windows_path(during / "burst.mpo")], env=env,
                            cwd=work, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    started.append(late)
    try:
        late.wait(timeout=120)
        handed = True
    except subprocess.TimeoutExpired:
        handed = False
    time.sleep(1)
    check(handed and len(twinframe_windows()) == 2,
          f"during: the later process ended, no window of its own ({len(twinframe_windows())})")
    check(answer_each_alone(main, 2) == 2, "during: the bad file's message, then the summary")
    check(jpegs(during) == ["DSCF0001-L.jpg", "DSCF0001-R.jpg"],
          f"during: the batch split what was selected at GO! only {jpegs(during)}")
    for output in during.glob("*.jpg"):
        output.unlink()
    time.sleep(1)
    xdotool("windowfocus", "--sync", main)
    xdotool("key", "Return")
    check(answer_boxes(main, 1) == 1, "during: the summary of the next GO!")
    check(same_outputs(during, ["burst-1.jpg", "burst-2.jpg", "burst-3.jpg"], reference),
          f"during: then the handed-off file was selected alone {jpegs(during)}")
    check(close(process, main), "during: the window closes")
finally:
    for process in started:
        if process.poll() is None:
            process.kill()
    if own_prefix:
        subprocess.run(["wineserver", "-k"], env=env, stderr=subprocess.DEVNULL)
    display.terminate()
    display.wait()
    shutil.rmtree(work, ignore_errors=True)

print(f"{len(failures)} failed" if failures else "all passed")
sys.exit(1 if failures else 0)
