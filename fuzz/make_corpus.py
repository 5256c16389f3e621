#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

Catalogue seeds (fuzz_catalog and fuzz_convert) are the worked examples of
the catalogue format and the shapes that matter for where blocks land. Engine
seeds are scripts in the encoding fuzz_engine.cpp describes, each driving a
whole transfer or one of its ends.
"""

import pathlib
import shutil

HERE = pathlib.Path(__file__).resolve().parent
CRLF = "\r\n"

# The two record example lines of the catalogue format.
FIRST_EXAMPLE = "OBJ1   ,First sample    ,1234,7,1.5,20.25,0.1,300,0,0,0,0,"
SECOND_EXAMPLE = "42,Second sample  ,1234,7,1.5,20.25,0.1,300,0,0,0,0,2.5"


def first_line(i):
    return f"OBJ{i}   ,Object {i}    ,1234,7,1.5,20.25,0.1,300,0,0,0,0,"


def second_line(i):
    return f"{i},Star {i}  ,1234,7,1.5,20.25,0.1,300,0,0,0,0,2.5"


def lines(make, count):
    return [make(i) for i in range(1, count + 1)]


def text(rows, end=CRLF, final_break=True):
    joined = end.join(rows)
    return joined + end if final_break and rows else joined


def catalogue_seeds():
    return {
        "two-examples": text([FIRST_EXAMPLE, "-", SECOND_EXAMPLE]),
        "17-separator-20": text(lines(first_line, 17) + ["------"] + lines(second_line, 20)),
        "separator-first": text(["-"] + lines(second_line, 3)),
        "256-no-separator": text(lines(first_line, 256), final_break=False),
        "lf-only": text([FIRST_EXAMPLE, "-", SECOND_EXAMPLE], end="\n"),
        "field-edge-cases": text([
            "OBJ1,First sample    ,1234,7,1.5,20.25,0.1,300,0,0,0,0,",
            "OBJ1   ,First sample    ,1234 ,7,1,2,3,4,5,6,7,8,",
            "-",
            "42,Second sample  ,1234,7,,20.25,0.1,300,0,0,0,0,1 2.5",
        ]),
        "empty": "",
    }


# Operation bytes of fuzz_engine: kind in the low three bits, argument above.
REPLY, TICK, CLICK = 0x01, 0x03, 0x04
REPLY_SPLIT, REPLY_ZERO_FIRST = 0x01 | (1 << 3), 0x01 | (2 << 3)
ERROR_REPLY, PORT_LOST_CLOSED = 0x02, 0x06 | (1 << 3)


def pick(catalogue, index):
    return (index << 1) | (1 if catalogue else 0)


def engine_seeds():
    # Enough replies for the longest transfer the scripts drive: greeting,
    # version, 68 sectors erased and checked, a few blocks, the quit.
    whole = [REPLY] * 160
    return {
        "image-1500": [pick(False, 3), TICK] + [REPLY] * 12,
        "image-empty-split": [pick(False, 0), TICK] + [REPLY_SPLIT] * 10,
        "image-3000-stop-restart": [pick(False, 4), TICK, REPLY, REPLY, CLICK, CLICK, TICK]
        + [REPLY] * 12,
        "image-1024-error-then-again": [pick(False, 2), TICK, REPLY, REPLY, REPLY, ERROR_REPLY,
                                        CLICK, TICK] + [REPLY] * 12,
        "catalogue-two-sections": [pick(True, 0), TICK] + whole,
        "catalogue-separator-first-zero": [pick(True, 1), TICK] + [REPLY_ZERO_FIRST] * 160,
        "catalogue-no-separator-port-lost": [pick(True, 2), TICK] + [REPLY] * 100
        + [PORT_LOST_CLOSED, TICK, CLICK, TICK] + whole,
        "catalogue-refused": [pick(True, 3), TICK, CLICK, TICK],
    }


def write(target, seeds):
    folder = HERE / "corpus" / target
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    for name, contents in seeds.items():
        data = contents.encode("ascii") if isinstance(contents, str) else bytes(contents)
        (folder / name).write_bytes(data)


def main():
    write("fuzz_catalog", catalogue_seeds())
    write("fuzz_convert", catalogue_seeds())
    write("fuzz_engine", engine_seeds())


if __name__ == "__main__":
    main()
