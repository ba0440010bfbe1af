#!/usr/bin/env python3
"""Writes the built-in credential table: one line per device of our own test fleet.

The output is deterministic (fixed seed, standard library only), so the committed table can be
checked against a fresh run:  python3 make_credential_table.py > ../data/credential_table.txt

Every line has all 21 columns. The first lines are fixed devices that test benches refer to by
tag, device EUI and key; the rest are drawn from the seeded generator.
"""

import random
import sys

LINES = 604
# The size of the production table this one stands in for, so that the embedded data and the length
# of a lookup's scan stay as they are in the field; the article mix below makes our lines add up to it.
TABLE_BYTES = 142180
SEED = 20240903

# Catalogue indexes and texts of the valve articles our fleet holds, with how many lines each.
ARTICLES = [
    (6, "QZT410HoNO35-TB-P", 421),
    (0, "QZT410HaNO35-TB-P", 57),
    (1, "QZT410HaNO35-TB-P-KD1N", 5),
    (2, "QZT410HaNO35-TB-P-KD2M", 4),
    (12, "QZT410LuNO35-44", 30),
    (28, "QZT410H?NO35-44", 9),
    (29, "QZT410HaNO35-81", 22),
    (30, "QZT410HoNO35-81", 26),
    (31, "QZT410HaNO35-TB", 18),
    (32, "QZT410HoNO35-TB", 12),
]

# The join EUI a device left production with, one per article family (the adapter twins share
# their base article's). None of them is a join EUI that an update installs.
FAMILY = {6: 1, 0: 2, 1: 2, 2: 2, 12: 3, 28: 4, 29: 5, 30: 6, 31: 7, 32: 8}

REVISIONS = ["2.b", "2.a", "2.c", "1.4", "2.3", "1.9"]
HARDWARE_VERSION = "1.3"
FIRMWARE = ["2023.04.18.00", "2023.11.02.01", "2024.02.14.00"]
HEAD_OPERATORS = ["XA", "XO", "XU", "XY", "??"]
OPERATORS = ["XA", "XO", "XU", "??"]
UPPER_CUSTOMER_LINES = 598

# Fixed devices: (tag bytes, device EUI bytes, key bytes, catalogue index, box, LS number, order size).
KNOWN = [
    ("04A17C2B5D8001", "4b4f520000000001", "000102030405060708090a0b0c0d0e0f", 6, 7, "0041234", 1),
    ("04A17C2B5D8002", "4b4f520000000002", "101112131415161718191a1b1c1d1e1f", 2, 12, "1200345", 25),
    ("04A17C2B5D8003", "4b4f520000000003", "202122232425262728292a2b2c2d2e2f", 1, 130, "0000042", 250),
    ("04A17C2B5D8004", "4b4f520000000004", "303132333435363738393a3b3c3d3e3f", 12, 1, "9876543", 8),
]


def pairs(hex_text, sep):
    return sep.join(hex_text[i:i + 2] for i in range(0, len(hex_text), 2))


def date(rng, year_from, year_to):
    return (rng.randint(year_from, year_to), rng.randint(1, 12), rng.randint(1, 28))


def date_text(d):
    return "%04d-%02d-%02d" % d


def main():
    rng = random.Random(SEED)

    articles = []
    for index, text, count in ARTICLES:
        articles += [(index, text)] * count
    assert len(articles) == LINES
    known_indexes = [k[3] for k in KNOWN]
    for index in known_indexes:
        articles.remove(next(a for a in articles if a[0] == index))
    rng.shuffle(articles)
    texts = {index: text for index, text, _ in ARTICLES}
    articles = [(i, texts[i]) for i in known_indexes] + articles

    tags = {k[0] for k in KNOWN}
    euis = {k[1] for k in KNOWN}
    keys = {k[2] for k in KNOWN}
    devices = [(k[0], k[1], k[2]) for k in KNOWN]
    while len(devices) < LINES:
        tag = "04" + "%012X" % rng.getrandbits(48)
        eui = "4b4f5200" + "%08x" % rng.getrandbits(32)
        key = "%032x" % rng.getrandbits(128)
        if tag in tags or eui in euis or key in keys:
            continue
        tags.add(tag)
        euis.add(eui)
        keys.add(key)
        devices.append((tag, eui, key))

    # Lower-case customer spelling on a few lines spread through the table, none of the known ones.
    lower_customer = set(rng.sample(range(len(KNOWN), LINES), LINES - UPPER_CUSTOMER_LINES))

    out = []
    order_left = 0
    box = 0
    for n, ((index, article), (tag, eui, key)) in enumerate(zip(articles, devices)):
        produced = date(rng, 2023, 2023)
        released = (produced[0] + 1, rng.randint(1, 12), rng.randint(1, 28))
        if n < len(KNOWN):
            _, _, _, _, box_number, ls, order_size = KNOWN[n]
        else:
            if order_left == 0:
                order_size = rng.choice([1, 4, 8, 12, 25, 40, 60, 100, 250])
                order_left = order_size
                ls = "%07d" % rng.randint(1, 9999999)
                box = rng.randint(1, 40)
            order_left -= 1
            box_number = box
        columns = [
            pairs(tag, ":"),
            pairs(eui, "-"),
            pairs("4b4f52564f4c44%02x" % FAMILY[index], "-"),
            pairs(key, " "),
            article,
            rng.choice(REVISIONS),
            HARDWARE_VERSION,
            rng.choice(FIRMWARE),
            date_text(produced),
            rng.choice(HEAD_OPERATORS),
            "pass",
            "pass",
            "pass",
            "pass",
            rng.choice(OPERATORS),
            date_text(released),
            ls,
            "%03d" % box_number,
            str(order_size),
            rng.choice(OPERATORS),
            "Korven GmbH" if n in lower_customer else "KORVEN GmbH",
        ]
        out.append(";".join(columns) + "\n")

    text = "".join(out)
    assert len(text.encode("ascii")) == TABLE_BYTES, len(text)
    sys.stdout.write(text)


if __name__ == "__main__":
    main()
