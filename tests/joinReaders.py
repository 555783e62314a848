#!/usr/bin/python3
"""Holds MPO files made by twinframe-cli --join to readers we did not write: exiftool must list
the MP index and extract the second image exactly, Pillow must open the file as an MPO of two
frames whose pixels are the inputs'. The pairs are real JPEGs made here with Pillow: baseline
with Exif, JFIF only, progressive, and halves cut from an MPO that still carry its MP segment.

Usage: joinReaders.py TWINFRAME_CLI"""

import io
import json
import os
import struct
import subprocess
import sys
import tempfile

from PIL import Image, ImageDraw

CLI = sys.argv[1]
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def stereo_pair(size=(320, 240), shift=6):
    """One scene seen from two points a little apart, so that the halves are of like size, as
    the split expects of a stereo pair."""
    scene = Image.new("RGB", (size[0] + shift, size[1]), (40, 90, 160))
    draw = ImageDraw.Draw(scene)
    for i in range(12):
        x = (37 + i * 53) % size[0]
        y = (17 + i * 29) % size[1]
        draw.ellipse((x, y, x + 40, y + 30), fill=((i * 70) % 256, 90, i * 20))
    return (scene.crop((shift, 0, shift + size[0], size[1])),
            scene.crop((0, 0, size[0], size[1])))


def jpeg(image, **options):
    out = io.BytesIO()
    image.save(out, "JPEG", quality=90, **options)
    return out.getvalue()


def exif_bytes(model):
    exif = Image.Exif()
    exif[0x010F] = "Twinframe test"
    exif[0x0110] = model
    return exif.tobytes()


def compressed(data):
    """From the first start of scan to the last end of image."""
    pos = 2
    while data[pos + 1] != 0xDA:
        while data[pos + 1] == 0xFF:
            pos += 1
        pos += 2 + (data[pos + 2] << 8 | data[pos + 3])
    return data[pos:data.rindex(b"\xff\xd9") + 2]


def pixels(data_or_image):
    image = data_or_image
    if isinstance(image, bytes):
        image = Image.open(io.BytesIO(image))
    return image.convert("RGB").tobytes()


def with_camera_mp_segment(data):
    """The picture with a stereo camera's MP segment after its Exif, as a half split from a
    camera MPO carries it: big-endian, the index IFD chained to the attribute IFD, with the
    figures the Fujifilm W3 measures (convergence 0, baseline 75 mm)."""
    def ifd_entry(tag, kind, count, value):
        return struct.pack(">HHII", tag, kind, count, value)
    entries = 8 + 2 + 3 * 12 + 4
    attributes = entries + 32
    rationals = attributes + 2 + 5 * 12 + 4
    tiff = b"MM\0*" + struct.pack(">I", 8)
    tiff += struct.pack(">H", 3) + ifd_entry(0xB000, 7, 4, 0x30313030) + \
        ifd_entry(0xB001, 4, 1, 2) + ifd_entry(0xB002, 7, 32, entries) + \
        struct.pack(">I", attributes)
    tiff += struct.pack(">8I", 0x20020002, 5000, 0, 0, 0x00020002, 5000, 5000, 0)
    tiff += struct.pack(">H", 5) + ifd_entry(0xB000, 7, 4, 0x30313030) + \
        ifd_entry(0xB101, 4, 1, 1) + ifd_entry(0xB204, 4, 1, 1) + \
        ifd_entry(0xB205, 10, 1, rationals) + ifd_entry(0xB206, 5, 1, rationals + 8) + \
        struct.pack(">I", 0)
    tiff += struct.pack(">4I", 0, 1, 75, 1000)
    segment = b"\xff\xe2" + struct.pack(">H", 2 + 4 + len(tiff)) + b"MPF\0" + tiff
    exif = data.index(b"Exif\0\0") - 4
    assert data[exif:exif + 2] == b"\xff\xe1"
    exif_end = exif + 2 + (data[exif + 2] << 8 | data[exif + 3])
    return data[:exif_end] + segment + data[exif_end:]


def pairs():
    left, right = stereo_pair()
    yield "exif", jpeg(left, exif=exif_bytes("L")), jpeg(right, exif=exif_bytes("R"))
    yield "jfif", jpeg(left), jpeg(right)
    yield "progressive", jpeg(left, progressive=True, exif=exif_bytes("L")), \
        jpeg(right, progressive=True)
    mpo = io.BytesIO()
    left.save(mpo, "MPO", save_all=True, append_images=[right], quality=85)
    data = mpo.getvalue()
    second = data.index(b"\xff\xd8\xff", 2)
    yield "halves", data[:second], data[second:]
    yield "camera", with_camera_mp_segment(jpeg(left, exif=exif_bytes("L"))), \
        jpeg(right, exif=exif_bytes("R"))


def main():
    with tempfile.TemporaryDirectory() as folder:
        os.chdir(folder)
        inputs = {}
        for name, left, right in pairs():
            inputs[name] = (left, right)
            for side, data in (("L", left), ("R", right)):
                with open(f"{name}-{side}.jpg", "wb") as f:
                    f.write(data)
        run = subprocess.run([CLI, "--join"] + [f"{name}-L.jpg" for name in inputs],
                             capture_output=True, text=True)
        check(run.returncode == 0, f"join exit status {run.returncode}: {run.stderr}")
        check(run.stdout.endswith(f"Pairs joined: {len(inputs)}\n"), "summary: " + run.stdout)

        for name, (left, right) in inputs.items():
            mpo = f"{name}.mpo"
            with open(mpo, "rb") as f:
                joined = f.read()
            check(joined[:4] == b"\xff\xd8\xff\xe1", f"{mpo} begins FF D8 FF E1")

            tags = json.loads(subprocess.run(
                ["exiftool", "-j", "-a", "-G1", "-MPF:all", mpo],
                capture_output=True, text=True, check=True).stdout)[0]
            check(tags.get("MPF0:MPFVersion") == "0100", f"{mpo} MPFVersion: {tags}")
            check(tags.get("MPF0:NumberOfImages") == 2, f"{mpo} NumberOfImages")
            check(tags.get("MPImage1:MPImageFlags") == "Representative image", f"{mpo} flags")
            check(tags.get("MPImage1:MPImageType") == "Multi-frame Disparity", f"{mpo} type 1")
            check(tags.get("MPImage2:MPImageType") == "Multi-frame Disparity", f"{mpo} type 2")
            check(tags.get("MPImage1:MPImageStart") == 0, f"{mpo} first image start")
            check(tags.get("MPF0:MPIndividualNum") == 1, f"{mpo} MPIndividualNum")
            if name == "jfif":  # the Exif segments are ours, not Pillow's
                validate = subprocess.run(["exiftool", "-validate", "-warning", "-a", "-s3", mpo],
                                          capture_output=True, text=True).stdout
                check(validate.startswith("OK"), f"{mpo} exiftool -validate: {validate}")

            second = subprocess.run(["exiftool", "-b", "-MPImage2", mpo],
                                    capture_output=True, check=True).stdout
            check(second == joined[len(joined) - len(second):] and
                  len(second) == tags.get("MPImage2:MPImageLength"),
                  f"{mpo}: exiftool's second image is the file's last bytes")
            check(compressed(second) == compressed(right), f"{mpo}: second image's data")
            if name == "camera":  # what the camera measured is kept, for both images
                for label, image in (("first", joined), ("second", second)):
                    figures = json.loads(subprocess.run(
                        ["exiftool", "-j", "-n", "-BaselineLength", "-ConvergenceAngle", "-"],
                        input=image, capture_output=True, check=True).stdout)[0]
                    check(figures.get("BaselineLength") == 0.075 and
                          figures.get("ConvergenceAngle") == 0,
                          f"{mpo} {label} image's figures: {figures}")

            with Image.open(mpo) as image:
                check(image.format == "MPO", f"{mpo} opens as {image.format}")
                check(getattr(image, "n_frames", 1) == 2, f"{mpo} has two frames")
                for frame, source in enumerate((left, right)):
                    image.seek(frame)
                    check(pixels(image) == pixels(source), f"{mpo} frame {frame + 1} pixels")

            # Split back with Twinframe itself: the compressed data come back byte for byte.
            os.mkdir(f"split-{name}")
            os.rename(mpo, f"split-{name}/{mpo}")
            split = subprocess.run([CLI, "--quiet", f"split-{name}/{mpo}"], capture_output=True)
            check(split.returncode == 0, f"split of {mpo}")
            for side, source in (("L", left), ("R", right)):
                with open(f"split-{name}/{name}-{side}.jpg", "rb") as f:
                    check(compressed(f.read()) == compressed(source), f"{mpo} split {side}")

        # A whole MPO given as a left picture is refused, and nothing is written.
        with open("whole-L.jpg", "wb") as f:
            f.write(b"".join(inputs["halves"]))
        with open("whole-R.jpg", "wb") as f:
            f.write(inputs["halves"][1])
        run = subprocess.run([CLI, "--join", "whole-L.jpg"], capture_output=True, text=True)
        check(run.returncode == 1 and "whole-L.jpg is a whole MPO file" in run.stderr,
              "a whole MPO is refused: " + run.stderr)
        check(not os.path.exists("whole.mpo"), "nothing written for a refused pair")

    print(f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
