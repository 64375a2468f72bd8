#!/usr/bin/env python3
"""Draws a terminal screen captured by `tmux capture-pane -p -e` as a PNG picture.

    python3 tools/render_screen.py COLS ROWS < screen.ansi > screen.png

Each cell is drawn in its colours from the SGR escapes of the capture; characters that
East Asian Width calls wide or full-width take two cells, as the terminal drew them.
The font is IPAGothic (package fonts-ipafont-gothic), whose full-width glyphs are
exactly two half-width cells wide; drawing needs Pillow (package python3-pil).
"""
import re
import sys
import unicodedata

from PIL import Image, ImageDraw, ImageFont

FONT = "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf"
# At 16 to 20 and 27 to 29 pixels the hinted underscore of this font vanishes.
SIZE = 22
PAD = 14

# The 16 colours of the Tango palette: SGR 30-37 and 90-97 (40-47 and 100-107).
PALETTE = [
    "#2e3436", "#cc0000", "#4e9a06", "#c4a000", "#3465a4", "#75507b", "#06989a", "#d3d7cf",
    "#555753", "#ef2929", "#8ae234", "#fce94f", "#729fcf", "#ad7fa8", "#34e2e2", "#eeeeec",
]
DEFAULT_FG = "#d3d7cf"
DEFAULT_BG = "#1c1c1c"

SGR = re.compile(r"\x1b\[([0-9;]*)m")


def xterm_256(n):
    if n < 16:
        return PALETTE[n]
    if n < 232:
        n -= 16
        steps = [0, 95, 135, 175, 215, 255]
        return "#%02x%02x%02x" % (steps[n // 36], steps[n // 6 % 6], steps[n % 6])
    v = 8 + 10 * (n - 232)
    return "#%02x%02x%02x" % (v, v, v)


class Pen:
    def __init__(self):
        self.reset()

    def reset(self):
        self.fg = None
        self.bg = None
        self.bold = False
        self.reverse = False

    def apply(self, params):
        codes = [int(p) if p else 0 for p in params.split(";")] if params else [0]
        i = 0
        while i < len(codes):
            c = codes[i]
            if c == 0:
                self.reset()
            elif c == 1:
                self.bold = True
            elif c == 22:
                self.bold = False
            elif c == 7:
                self.reverse = True
            elif c == 27:
                self.reverse = False
            elif 30 <= c <= 37:
                self.fg = PALETTE[c - 30]
            elif 90 <= c <= 97:
                self.fg = PALETTE[c - 90 + 8]
            elif c == 39:
                self.fg = None
            elif 40 <= c <= 47:
                self.bg = PALETTE[c - 40]
            elif 100 <= c <= 107:
                self.bg = PALETTE[c - 100 + 8]
            elif c == 49:
                self.bg = None
            elif c in (38, 48) and i + 2 < len(codes) and codes[i + 1] == 5:
                colour = xterm_256(codes[i + 2])
                if c == 38:
                    self.fg = colour
                else:
                    self.bg = colour
                i += 2
            i += 1

    def colours(self):
        fg, bg = self.fg or DEFAULT_FG, self.bg or DEFAULT_BG
        return (bg, fg) if self.reverse else (fg, bg)


def cell_width(ch):
    return 2 if unicodedata.east_asian_width(ch) in ("W", "F") else 1


def parse(text, cols, rows):
    """The screen as rows of cells: (character, fg, bg, bold) or None behind a wide one."""
    pen = Pen()
    screen = []
    for line in text.split("\n")[:rows]:
        row = []
        pos = 0
        while pos < len(line):
            m = SGR.match(line, pos)
            if m:
                pen.apply(m.group(1))
                pos = m.end()
                continue
            ch = line[pos]
            pos += 1
            fg, bg = pen.colours()
            row.append((ch, fg, bg, pen.bold))
            if cell_width(ch) == 2:
                row.append(None)
        screen.append(row[:cols])
    while len(screen) < rows:
        screen.append([])
    return screen


def render(screen, cols, rows):
    font = ImageFont.truetype(FONT, SIZE)
    cw = round(font.getlength("M"))
    ascent, descent = font.getmetrics()
    ch_height = ascent + descent + 4
    image = Image.new("RGB", (cols * cw + 2 * PAD, rows * ch_height + 2 * PAD), DEFAULT_BG)
    draw = ImageDraw.Draw(image)
    for y, row in enumerate(screen):
        top = PAD + y * ch_height
        for x, cell in enumerate(row):
            if cell is None:
                continue
            ch, fg, bg, bold = cell
            left = PAD + x * cw
            width = cw * cell_width(ch)
            if bg != DEFAULT_BG:
                draw.rectangle([left, top, left + width - 1, top + ch_height - 1], fill=bg)
            if ch != " ":
                draw.text((left, top + 2), ch, font=font, fill=fg,
                          stroke_width=1 if bold else 0, stroke_fill=fg)
    return image


def main():
    cols, rows = int(sys.argv[1]), int(sys.argv[2])
    text = sys.stdin.buffer.read().decode("utf-8", errors="replace")
    render(parse(text, cols, rows), cols, rows).save(sys.stdout.buffer, "PNG", optimize=True)


if __name__ == "__main__":
    main()
