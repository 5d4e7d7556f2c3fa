"""1,000 random JSON documents made by python are read into DynamicStructure
and written back; python's json must parse every result, and the values must
follow the reading rules: integers keep their low 32 bits, floats become
32-bit floats written with 5 decimals (out of range: null), empty objects and
arrays read as null and are dropped from arrays, texts survive exactly and
member names are widened byte by byte."""

import json
import os
import random
import struct
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from settings_probe import Sandbox  # noqa: E402
from failure_report import ExplainingRunner  # noqa: E402

DOCUMENTS = 1000
SPECIAL_CHARACTERS = ["\"", "\\", "/", "\b", "\f", "\n", "\r", "\t", "\x00", "\x01", "\x1f", "\x7f", "\u00e9",
                      "\u2028", "\u4e2d", "\uffff", "\U0001F600", "\U0010FFFF", " ", "a", "Z", "0"]


def random_text(rng):
    return "".join(rng.choice(SPECIAL_CHARACTERS) for _ in range(rng.randint(0, 12)))


def random_number(rng):
    kind = rng.randrange(6)
    if kind == 0:
        return rng.randint(-2**31, 2**31 - 1)
    if kind == 1:
        return rng.randint(-2**63, 2**64 - 1)
    if kind == 2:
        return rng.uniform(-1e6, 1e6)
    if kind == 3:
        return rng.choice([0.1, 3.141, 1e30, -1e38, 1e39, -1e300, 5e-324, 0.0, -0.0, 1.0, 3.40282356e38, -3.4028236e38])
    if kind == 4:
        return rng.randint(2**64, 2**70)  # beyond 64 bits: a floating-point number to the parser
    return rng.uniform(-1, 1) * 10 ** rng.randint(-10, 30)


def random_value(rng, depth):
    kind = rng.randrange(8 if depth < 4 else 5)
    if kind == 0:
        return None
    if kind == 1:
        return rng.random() < 0.5
    if kind == 2:
        return random_number(rng)
    if kind in (3, 4):
        return random_text(rng)
    if kind == 5:
        return {}
    if kind == 6:
        return [random_value(rng, depth + 1) for _ in range(rng.randint(0, 5))]
    return {random_text(rng) or "k": random_value(rng, depth + 1) for _ in range(rng.randint(0, 5))}


def as_float32(number):
    try:
        return struct.unpack("<f", struct.pack("<f", float(number)))[0]
    except OverflowError:
        return None


def expected(value):
    """What the written document must hold, or None where the reader gives Nil."""
    if value is None or isinstance(value, bool) or isinstance(value, str):
        return value
    if isinstance(value, int) and -2**63 <= value < 2**64:
        low = value & 0xFFFFFFFF
        return low - 2**32 if low >= 2**31 else low
    if isinstance(value, (int, float)):
        return ("float", as_float32(value))
    if isinstance(value, list):
        items = [expected(item) for item in value]
        items = [item for item in items if item is not None]
        return items or None
    members = {name.encode("utf-8").decode("latin-1"): expected(item) for name, item in value.items()}
    return members or None


class RandomDocuments(unittest.TestCase):
    def assert_matches(self, got, want, where):
        if isinstance(want, tuple):
            if want[1] is None or want[1] != want[1]:
                self.assertIsNone(got, where)
            else:
                self.assertIsInstance(got, float, where)
                self.assertLessEqual(abs(got - want[1]), 5.0001e-6, where)
        elif isinstance(want, dict):
            self.assertIsInstance(got, dict, where)
            self.assertEqual(set(got), set(want), where)
            for name in want:
                self.assert_matches(got[name], want[name], where + "/" + repr(name))
        elif isinstance(want, list):
            self.assertIsInstance(got, list, where)
            self.assertEqual(len(got), len(want), where)
            for index, (g, w) in enumerate(zip(got, want)):
                self.assert_matches(g, w, f"{where}[{index}]")
        else:
            self.assertEqual(type(got), type(want), where)
            self.assertEqual(got, want, where)

    def test_written_documents_parse_and_keep_their_values(self):
        rng = random.Random(1234)
        documents = [random_value(rng, 0) for _ in range(DOCUMENTS)]
        box = Sandbox()
        try:
            source = os.path.join(box.root, "in.jsonl")
            target = os.path.join(box.root, "out.json")
            with open(source, "w", encoding="utf-8") as f:
                for document in documents:
                    f.write(json.dumps(document, ensure_ascii=False, allow_nan=False) + "\n")
            box.run("write-json", source, target)
            with open(target, "rb") as f:
                raw = f.read()
        finally:
            box.cleanup()
        records = raw.decode("utf-8").split("\x1e\n")  # strict: invalid UTF-8 fails here
        self.assertEqual(records[-1], "")
        self.assertEqual(len(records) - 1, DOCUMENTS)
        for index, (document, text) in enumerate(zip(documents, records)):
            self.assertFalse(text.endswith("\n"), f"document {index} ends with a line break")
            self.assert_matches(json.loads(text), expected(document), f"document {index}")


if __name__ == "__main__":
    unittest.main(testRunner=ExplainingRunner)
