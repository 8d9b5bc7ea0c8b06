#!/usr/bin/env python3
"""Why each failed test failed, in a few lines each, from ctest's output in
the lane logs given: the test's name and the last lines of its output that
say what went wrong. A whole run's log is long, and a reader of its end
should not have to find each failure in it. A release root's step runs
ctest inside the root; its own failed tests are found the same way, inside
the step's output."""
import re
import sys

FAILED = re.compile(r"Test\s+#\d+: (\S+) \.*\s*\*\*\*(Failed|Timeout|Exception.*|Not Run.*)\s")
NEXT_TEST = re.compile(r"^\s*(\d+/\d+ Test\s+#\d+:|Start\s+\d+:)")
TELLING = re.compile(r"Failure|Error|error:|FAIL|failed|Timeout|timed out|assert|Expected|Which is|not |never ", re.I)
# Libraries' warnings on standard error say nothing of the failure, nor do
# the sound servers' and the message bus's own logs ("N 18:36:26.767 ...",
# "W: [pulseaudio] ...", "dbus-daemon[12]: ...").
WARNING = re.compile(r"warning|^\s*[A-Z]:? (\[|\d\d:\d\d:\d\d)|^\s*dbus-daemon\[", re.I)
# A failure that ends with a colon lists what failed on the lines after it.
LISTED_LINES = 2
# A Python traceback's own lines: where, and the source that raised.
TRACEBACK_SOURCE = ("File ", "~", "^", "check(", "raise ", "---")
LINES_PER_TEST = 4
WIDTH = 200


def digest(lines):
    """(test, how it failed, [telling lines]) for each failed test, in order."""
    found = []
    current = None
    listed = 0
    for line in lines:
        match = FAILED.search(line)
        if match:
            current = (match.group(1), match.group(2), [])
            found.append(current)
        elif current and NEXT_TEST.search(line):
            current = None
        elif current and (listed > 0 and line.strip() or TELLING.search(line) and not WARNING.search(line)
                          and not line.lstrip().startswith(TRACEBACK_SOURCE)):
            current[2].append(line.strip()[:WIDTH])
            listed = LISTED_LINES if line.rstrip().endswith(":") else listed - 1
            continue
        listed = 0
    return found


def main(paths):
    for path in paths:
        try:
            with open(path, errors="replace") as log:
                found = digest(log.read().splitlines())
        except OSError:
            continue
        for test, how, telling in found:
            print(f"  {test} ({how.strip()}):")
            # A release step without lines of its own has its failed tests below.
            for line in telling[-LINES_PER_TEST - LISTED_LINES:]:
                print(f"      {line}")


if __name__ == "__main__":
    main(sys.argv[1:])
