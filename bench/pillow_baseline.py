"""What a user would write without spihost: every PAC picture in a folder converted to PNG with
Pillow, one after another. A PAC file is a bitmap file behind an 8-byte prefix, whose rows are
stored top first: read as a plain bitmap it comes out upside down."""
import io
import pathlib
import sys

from PIL import Image

source, target = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
target.mkdir(parents=True, exist_ok=True)
for path in sorted(source.glob("*.pac")):
    with Image.open(io.BytesIO(path.read_bytes()[8:])) as picture:
        picture.transpose(Image.FLIP_TOP_BOTTOM).save(target / (path.stem + ".png"))
