# What a terminal shows after the bytes on standard input: each line of the
# screen on a line of standard output, trailing spaces dropped, then a line
# "cursor ROW COLUMN" (from 0). The screen is 80 columns wide unless told;
# each argument OFFSET:COLUMNS resizes it to COLUMNS once the bytes before
# OFFSET are drawn, as a window resized while the program runs. Used by the
# terminal tests to check the screen, not only the record.
import sys

import pyte

data = sys.stdin.buffer.read()
screen = pyte.Screen(80, 200)
stream = pyte.ByteStream(screen)
at = 0
for resize in sys.argv[1:]:
    offset, columns = (int(part) for part in resize.split(":"))
    stream.feed(data[at:offset])
    screen.resize(200, columns)
    at = offset
stream.feed(data[at:])
for line in screen.display:
    sys.stdout.write(line.rstrip() + "\n")
sys.stdout.write("cursor %d %d\n" % (screen.cursor.y, screen.cursor.x))
