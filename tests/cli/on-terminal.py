#!/usr/bin/env python3
"""Runs a command on a terminal of its own (a pty for standard input, output and error), as a
user at a terminal runs it: when the command asks "[y/N]" the answer is typed, a line of its
own ("-" types nothing: no question is expected). What the terminal showed goes to standard
output; the exit status is the command's.
    on-terminal.py ANSWER|- COMMAND [ARGUMENTS...]
"""
import os
import pty
import select
import sys
import time

answer, argv = sys.argv[1], sys.argv[2:]
pid, fd = pty.fork()
if pid == 0:
    os.execvp(argv[0], argv)

shown = b""
asked = False
deadline = time.monotonic() + 120  # a limit for a stuck command, not a wait for an event
while time.monotonic() < deadline:
    ready, _, _ = select.select([fd], [], [], 1.0)
    if not ready:
        continue
    try:
        data = os.read(fd, 4096)
    except OSError:  # the command ended and closed the terminal
        break
    if not data:
        break
    shown += data
    if not asked and b"[y/N] " in shown:
        asked = True
        if answer == "-":
            print("on-terminal.py: a question came, none was expected", file=sys.stderr)
            os.kill(pid, 9)
            break
        os.write(fd, answer.encode() + b"\n")
else:
    print("on-terminal.py: the command did not end in time", file=sys.stderr)
    os.kill(pid, 9)

_, status = os.waitpid(pid, 0)
sys.stdout.write(shown.decode("utf-8", "replace").replace("\r\n", "\n"))
sys.exit(os.waitstatus_to_exitcode(status) if os.WIFEXITED(status) else 128 + os.WTERMSIG(status))
