"""The activity rows the service stand-in received, read with python's gzip and csv."""

import csv
import glob
import gzip
import io
import os


def field(request, name):
    """A form field of one logged request; None when it has none."""
    return next((value for key, value in request.get("fields", []) if key == name), None)


def row_key(text):
    """(start time, title) of one CSV row."""
    row = next(csv.reader(io.StringIO(text, newline="")))
    assert len(row) == 12, row
    return row[5], row[3]


def add_rows(data, source, rows):
    """Each row of an upload file's content, by (start, title), with where it came from."""
    for row in csv.reader(io.StringIO(data.decode("utf-8"), newline="")):
        assert len(row) == 12, row
        rows.setdefault((row[5], row[3]), []).append(source)


def received_rows(client, account_key, activities=None):
    """Where each row arrived: the files the service accepted for the account, one
    per file_uuid (a file sent again under its uuid is one upload), and with
    `activities` the files still waiting there but not yet at the service.
    Answers (rows, files sent again)."""
    rows = {}
    seen = set()
    resent = 0
    for request in client.requests("/collect"):
        if field(request, "account_key") != account_key or request["answered"] != 200:
            continue
        uuid = field(request, "file_uuid")
        if uuid in seen:
            resent += 1
            continue
        seen.add(uuid)
        with open(request["files"][0]["stored"], "rb") as f:
            data = f.read()
        add_rows(gzip.decompress(data) if field(request, "gz") == "1" else data, "sent " + uuid, rows)
    for path in glob.glob(os.path.join(activities, "*.kes[gc]")) if activities else []:
        name = os.path.basename(path)
        if name[:36] in seen:
            continue
        with open(path, "rb") as f:
            data = f.read()
        add_rows(gzip.decompress(data) if path.endswith(".kesg") else data, "waiting " + name, rows)
    return rows, resent
