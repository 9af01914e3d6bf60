# What a terminal shows after the bytes on standard input: each line of an
# 80-column screen on a line of standard output, trailing spaces dropped.
# Used by the terminal tests to check the screen, not only the record.
import sys

import pyte

screen = pyte.Screen(80, 200)
stream = pyte.ByteStream(screen)
stream.feed(sys.stdin.buffer.read())
for line in screen.display:
    sys.stdout.write(line.rstrip() + "\n")
