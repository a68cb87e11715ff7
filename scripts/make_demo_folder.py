#!/usr/bin/python3
"""Fills a folder with what the demo server offers: a few pictures, a text
file and a subfolder."""
import os
import sys

from PIL import Image, ImageDraw


def picture(path, size, colour, fmt):
    image = Image.new("RGB", size, colour)
    draw = ImageDraw.Draw(image)
    w, h = size
    for i in range(0, w, max(1, w // 12)):
        draw.line([(i, 0), (w - i, h)], fill=(255, 255, 255), width=3)
    draw.ellipse([w // 4, h // 4, 3 * w // 4, 3 * h // 4], outline=(20, 20, 20), width=6)
    image.save(path, fmt)


def main():
    root = sys.argv[1]
    os.makedirs(os.path.join(root, "listing photos"), exist_ok=True)
    picture(os.path.join(root, "teapot.jpg"), (800, 600), (180, 90, 40), "JPEG")
    picture(os.path.join(root, "lamp.jpg"), (600, 900), (40, 120, 170), "JPEG")
    picture(os.path.join(root, "banner.gif"), (468, 60), (90, 160, 60), "GIF")
    picture(os.path.join(root, "listing photos", "clock front.jpg"), (1600, 1200), (120, 60, 140), "JPEG")
    picture(os.path.join(root, "listing photos", "clock back.jpg"), (1600, 1200), (60, 140, 120), "JPEG")
    with open(os.path.join(root, "readme.txt"), "w") as f:
        f.write("Welcome to the Quillmar demo server.\r\n")


if __name__ == "__main__":
    main()
