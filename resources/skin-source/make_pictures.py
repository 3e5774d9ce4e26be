#!/usr/bin/env python3
"""Draws the pictures of the program's skin into resources/skin/.

Every picture is described here in ImageMagick's drawing language (MVG) at its
final pixel size; each frame is rendered at 4x and scaled down, which gives
clean anti-aliased edges. Button strips are frames side by side, as the skin
cuts them with `source`. Needs Python 3 and ImageMagick's `convert`; text uses
WenQuanYi Micro Hei, the face that stands in for 微软雅黑.

    python3 resources/skin-source/make_pictures.py [output folder]

The output is deterministic (no time stamps), so regenerating only changes
files whose drawing changed.
"""
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..", "skin")
FONT = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"
SCALE = 4
TMP = tempfile.mkdtemp(prefix="kavi-skin-")
PNG_FLAGS = ["-define", "png:exclude-chunks=date,time", "+set", "date:create",
             "+set", "date:modify", "-strip"]

# The palette: a fresh blue on white with slate greys.
BLUE = "#2f80ed"
BLUE_LIGHT = "#4b95f5"
BLUE_DARK = "#1b62c8"
BLUE_PALE = "#e8f1fd"
SLATE = "#5b6b7a"
LINE = "#d5dde6"
RED = "#e5484d"
RED_DARK = "#c8373c"


def gradient(name, top, bottom, height):
    return (f"push defs push gradient '{name}' linear 0,0 0,{height} "
            f"stop-color '{top}' 0 stop-color '{bottom}' 1 pop gradient pop defs ")


def filled(shape_mvg):
    """Draws with a gradient fill without leaking it into what follows."""
    return f"push graphic-context {shape_mvg} pop graphic-context "


def arc(cx, cy, r, start, end, colour, width):
    """An open arc from `start` to `end` degrees (clockwise, 0 = east), as a
    polyline: ImageMagick closes stroked arc paths with a chord."""
    import math
    steps = max(2, int(abs(end - start) / 3))
    points = []
    for i in range(steps + 1):
        a = math.radians(start + (end - start) * i / steps)
        points.append(f"{cx + r * math.cos(a):.3f},{cy + r * math.sin(a):.3f}")
    return (f"fill none stroke '{colour}' stroke-width {width} stroke-linecap round "
            f"stroke-linejoin round polyline {' '.join(points)} ")


def text(x, y, size, colour, words, anchor="middle"):
    return (f"font '{FONT}' font-size {size} fill '{colour}' stroke none "
            f"text-anchor {anchor} text {x},{y} '{words}' ")


_count = 0


def frame(width, height, mvg, background="none"):
    """Renders one frame; returns the path of a temporary PNG."""
    global _count
    _count += 1
    path = os.path.join(TMP, f"f{_count}.png")
    subprocess.run(["convert", "-size", f"{width * SCALE}x{height * SCALE}",
                    f"xc:{background}", "-draw", f"scale {SCALE},{SCALE} " + mvg,
                    "-filter", "box", "-resize", f"{width}x{height}!", f"PNG32:{path}"],
                   check=True)
    return path


def save_png(name, frames):
    out = os.path.join(OUT, name)
    subprocess.run(["convert", *frames, "+append", *PNG_FLAGS, f"PNG32:{out}"], check=True)
    print("wrote", name)


def save_gif(name, frames, delay):
    """An animation on white; `delay` in hundredths of a second (0 allowed)."""
    out = os.path.join(OUT, name)
    subprocess.run(["convert", "-delay", str(delay), "-dispose", "none", *frames,
                    "-loop", "0", "+remap", out], check=True)
    print("wrote", name)


def rounded(x0, y0, x1, y1, r, fill, stroke="none", width=1):
    return (f"fill '{fill}' stroke '{stroke}' stroke-width {width} "
            f"roundrectangle {x0},{y0} {x1},{y1} {r},{r} ")


# ---- caption bar ---------------------------------------------------------------

def ico():
    mvg = filled(gradient("g", "#4aa3ff", "#1b62c8", 20) +
                 "fill 'url(#g)' roundrectangle 0.5,0.5 19.5,19.5 5,5")
    # A circular arrow: the program starts Windows afresh.
    mvg += arc(10, 10, 5.2, -20, 250, "white", 1.9)
    mvg += "fill white stroke none polygon 12.2,2.6 17.6,4.6 13.2,8.8 "
    save_png("ico.png", [frame(20, 20, mvg)])


def caption_button(name, width, glyph, hot="#dfe8ef", pushed="#cfdbe5", glyph_hot=None):
    frames = []
    for bg, colour in (("none", SLATE), (hot, glyph_hot or SLATE), (pushed, glyph_hot or SLATE)):
        mvg = "" if bg == "none" else f"fill '{bg}' stroke none rectangle 0,0 {width},34 "
        frames.append(frame(width, 34, mvg + glyph(colour)))
    save_png(name, frames)


def caption_buttons():
    caption_button("min.png", 40, lambda c: f"fill '{c}' stroke none rectangle 14,17 26,18.2 ")
    cross = (lambda c: f"fill none stroke '{c}' stroke-width 1.3 stroke-linecap round "
             "line 20,12 30,22 line 30,12 20,22 ")
    caption_button("close.png", 50, cross, hot=RED, pushed=RED_DARK, glyph_hot="white")
    caption_button("feedback.png", 40, lambda c: "")
    burger = (lambda c: f"fill '{c}' stroke none rectangle 13,12 27,13.3 "
              "rectangle 13,16.5 27,17.8 rectangle 13,21 27,22.3 ")
    caption_button("menubtn.png", 40, burger)
    frames = []
    for fill, colour in (("white", BLUE), (BLUE_PALE, BLUE), (BLUE, "white")):
        mvg = rounded(0.5, 0.5, 59.5, 25.5, 4, fill, BLUE, 1) + text(30, 18, 13, colour, "登录")
        frames.append(frame(60, 26, mvg))
    save_png("loginbtn.png", frames)


# ---- start page ------------------------------------------------------------------

def scanbtn():
    frames = []
    looks = (("#55acff", "#1f6fe5", 0.18, 84), ("#6bb8ff", "#2f80ed", 0.30, 84),
             ("#2f80ed", "#1757b4", 0.22, 81))
    for top, bottom, halo, radius in looks:
        c = 96
        mvg = f"fill 'rgba(47,128,237,{halo / 2})' stroke none circle {c},{c} {c},{c - 95} "
        mvg += f"fill 'rgba(47,128,237,{halo})' circle {c},{c} {c},{c - 91} "
        mvg += filled(gradient("g", top, bottom, 192) +
                      f"fill 'url(#g)' stroke 'rgba(255,255,255,0.55)' stroke-width 2 "
                      f"circle {c},{c} {c},{c - radius}")
        mvg += text(c, c + 2, 30, "white", "立即重装")
        mvg += text(c, c + 30, 13, "rgba(255,255,255,0.85)", "一键安装全新系统")
        frames.append(frame(192, 192, mvg))
    save_png("scanbtn.png", frames)


# ---- list rows ----------------------------------------------------------------------

def switch():
    # Frames of 43 x 23: on+hot, on, disabled, off, off+hot.
    looks = ((BLUE_LIGHT, True), (BLUE, True), ("#e3e8ee", False), ("#c9d2dc", False),
             ("#aebbc8", False))
    frames = []
    for fill, on in looks:
        knob = 31.5 if on else 11.5
        mvg = rounded(1.5, 2.5, 41.5, 20.5, 9, fill)
        mvg += "fill 'rgba(0,0,0,0.12)' stroke none circle %s,12.2 %s,4.2 " % (knob, knob)
        mvg += "fill white circle %s,11.5 %s,4 " % (knob, knob)
        frames.append(frame(43, 23, mvg))
    save_png("switch.png", frames)


def xt():
    mvg = filled(gradient("g", "#5aaeff", "#1b62c8", 48) + rounded(4, 6, 44, 36, 4, "url(#g)"))
    mvg += "fill '#8a98a8' stroke none polygon 19,36 29,36 31,42 17,42 "
    mvg += rounded(12, 41, 36, 44, 1.5, "#6d7b8b")
    # A four-pane window on the screen.
    for x, y in ((16, 12), (25, 12), (16, 21), (25, 21)):
        mvg += f"fill 'rgba(255,255,255,0.95)' rectangle {x},{y} {x + 7.5},{y + 7.5} "
    save_png("xt.png", [frame(48, 48, mvg)])


def scrollbar():
    # A 24-bit sheet cut by the skin: thumb 0-8, pressed thumb 8-16, rail
    # 16-24, each 8 x 40 with rounded ends; magenta is masked out.
    path = os.path.join(TMP, "scrollbar.png")
    mvg = ("fill '#ff00ff' rectangle 0,0 31,39 "
           "fill '#c3cdd8' roundrectangle 0,0 7,39 4,4 "
           "fill '#98a7b8' roundrectangle 8,0 15,39 4,4 "
           "fill '#eef1f5' roundrectangle 16,0 23,39 4,4 "
           "fill '#ffffff' rectangle 24,0 31,39 ")
    subprocess.run(["convert", "-size", "32x40", "xc:#ff00ff", "+antialias", "-draw", mvg,
                    path], check=True)
    subprocess.run(["convert", path, "-type", "TrueColor",
                    "BMP3:" + os.path.join(OUT, "scrollbar.bmp")], check=True)
    print("wrote scrollbar.bmp")


# ---- download and verification pages ----------------------------------------------

def downloading():
    frames = []
    count = 24
    for i in range(count):
        start = i * 360 / count - 90
        mvg = "fill none stroke '#e6eefa' stroke-width 10 circle 75,75 75,17 "
        mvg += arc(75, 75, 58, start, start + 100, BLUE, 10)
        mvg += arc(75, 75, 44, -start * 1.5, -start * 1.5 + 40, BLUE_LIGHT, 4)
        frames.append(frame(150, 150, mvg, background="white"))
    save_gif("downloading.GIF", frames, 5)


def progress499():
    frames = []
    count = 20
    for i in range(count):
        x = -60 + i * 280 / count
        mvg = rounded(2, 8, 218, 17, 4.5, "#e6eefa")
        mvg += "push clip-path c push defs push clip-path c roundrectangle 2,8 218,17 4.5,4.5 pop clip-path pop defs pop clip-path "
        mvg += f"clip-path c " + rounded(x, 8, x + 60, 17, 4.5, BLUE)
        frames.append(frame(220, 25, mvg, background="white"))
    # Delay 0: shown for 100 ms a frame, as a browser would.
    save_gif("499.gif", frames, 0)


# ---- tool tiles --------------------------------------------------------------------

def data_icon():
    mvg = filled(gradient("g", "#ffc35a", "#f59f1c", 36) +
                 "fill 'url(#g)' stroke none polygon 3,8 14,8 17,11 33,11 33,31 3,31")
    mvg += "fill '#ffd27f' polygon 3,14 33,14 33,31 3,31 "
    mvg += f"fill '{BLUE}' circle 25,25 25,16 "
    mvg += ("fill none stroke white stroke-width 2 stroke-linecap round stroke-linejoin round "
            "polyline 21,25.5 25,21.5 29,25.5 line 25,21.5 25,29 ")
    save_png("data.png", [frame(36, 36, mvg)])


def clean_icon():
    mvg = filled(gradient("g", "#3cd3b5", "#13a88b", 36) + rounded(2, 2, 34, 34, 8, "url(#g)"))
    star = lambda cx, cy, r: (f"fill white stroke none polygon {cx},{cy - r} {cx + r * 0.28},{cy - r * 0.28} "
                              f"{cx + r},{cy} {cx + r * 0.28},{cy + r * 0.28} {cx},{cy + r} "
                              f"{cx - r * 0.28},{cy + r * 0.28} {cx - r},{cy} {cx - r * 0.28},{cy - r * 0.28} ")
    mvg += star(15, 19, 9) + star(25.5, 10.5, 4.5) + star(26, 26, 3)
    save_png("clean.png", [frame(36, 36, mvg)])


# ---- data backup window --------------------------------------------------------------

def closesmall():
    frames = []
    for bg in ("none", RED, RED_DARK):
        mvg = "" if bg == "none" else f"fill '{bg}' stroke none rectangle 0,0 27,25 "
        mvg += ("fill none stroke white stroke-width 1.3 stroke-linecap round "
                "line 9.5,8.5 17.5,16.5 line 17.5,8.5 9.5,16.5 ")
        frames.append(frame(27, 25, mvg))
    save_png("closesmall.png", frames)


def checkbox():
    frames = [
        frame(19, 19, rounded(1.5, 1.5, 17.5, 17.5, 3, "white", "#b4c0cc", 1.2)),
        frame(19, 19, rounded(1.5, 1.5, 17.5, 17.5, 3, BLUE_PALE, BLUE, 1.2)),
        frame(19, 19, rounded(1, 1, 18, 18, 3.5, BLUE) +
              "fill none stroke white stroke-width 2 stroke-linecap round stroke-linejoin round "
              "polyline 5,9.8 8.2,13 14,6.6 "),
    ]
    save_png("checkbox.png", frames)


def backup_panel():
    w, h = 404, 401
    mvg = f"fill white stroke none rectangle 0,0 {w},{h} "
    # Cards behind the path row and the three choices, and a footer band.
    mvg += rounded(12.5, 34.5, 391.5, 106.5, 6, "#f6f9fd", "#e1e8f0", 1)
    mvg += rounded(12.5, 118.5, 391.5, 272.5, 6, "#f6f9fd", "#e1e8f0", 1)
    mvg += f"fill '{BLUE}' stroke none rectangle 12.5,45 15.5,59 rectangle 12.5,129 15.5,143 "
    # Folder marks beside the three choices.
    for x, y in ((50, 173), (50, 238), (258, 173)):
        mvg += (f"fill '#ffd27f' stroke none polygon {x},{y} {x + 7},{y} {x + 9},{y + 2} "
                f"{x + 18},{y + 2} {x + 18},{y + 14} {x},{y + 14} ")
    mvg += f"fill '{LINE}' rectangle 24,329 380,329.8 "
    save_png("备份还原资料界面.png", [frame(w, h, mvg)])


def wide_button(name, label, looks):
    frames = []
    for fill, stroke, colour in looks:
        mvg = rounded(0.5, 0.5, 129.5, 39.5, 5, fill, stroke, 1) + text(65, 26, 15, colour, label)
        frames.append(frame(130, 40, mvg))
    save_png(name, frames)


def backup_buttons():
    # Frames: normal, hot, pushed, disabled.
    wide_button("备份资料按钮.png", "备份资料",
                ((BLUE, BLUE, "white"), (BLUE_LIGHT, BLUE_LIGHT, "white"),
                 (BLUE_DARK, BLUE_DARK, "white"), ("#a9c7f1", "#a9c7f1", "white")))
    wide_button("还原资料按钮.png", "还原资料",
                (("white", BLUE, BLUE), (BLUE_PALE, BLUE, BLUE), ("#d6e6fb", BLUE_DARK, BLUE_DARK),
                 ("#f3f5f8", "#cdd5de", "#a4b0bd")))
    frames = []
    for fill, stroke in (("white", "#c5cfda"), (BLUE_PALE, BLUE), ("#d6e6fb", BLUE_DARK)):
        mvg = rounded(0.5, 0.5, 39.5, 24.5, 3, fill, stroke, 1) + text(20, 17, 12, "#3a4756", "浏览")
        frames.append(frame(40, 25, mvg))
    save_png("浏览.png", frames)


def main():
    os.makedirs(OUT, exist_ok=True)
    ico()
    caption_buttons()
    scanbtn()
    switch()
    xt()
    scrollbar()
    downloading()
    progress499()
    data_icon()
    clean_icon()
    closesmall()
    checkbox()
    backup_panel()
    backup_buttons()


if __name__ == "__main__":
    main()
