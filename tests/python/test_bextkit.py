import json
import os
import subprocess

import pytest

import bextkit
from conftest import SAMPLE, YARDSTICK

PRODUCERS = sorted(p.name for p in YARDSTICK.glob("*.wav"))


def peer_fields(path):
    """The bext fields as libsndfile reads them."""
    out = subprocess.run(["sndfile-metadata-get", "--bext-description", "--bext-originator",
                          "--bext-coding-hist", str(path)],
                         capture_output=True, text=True, check=True).stdout
    pairs = (line.split(":", 1) for line in out.splitlines() if " : " in line)
    return {key.strip(): value.strip() for key, value in pairs}


def shown(cli, path):
    out = subprocess.run([cli, "show", "--json", os.fsencode(path)], capture_output=True,
                         check=True).stdout
    return json.loads(out)


@pytest.mark.parametrize("name", PRODUCERS)
def test_read_is_what_show_reads(cli, name):
    path = YARDSTICK / name
    record, expected = bextkit.read(path), shown(cli, path)
    bext = expected["bext"] or {}
    assert record.has_bext == bool(expected["bext"])
    assert record.description == bext.get("description")
    assert record.time_reference == bext.get("timeReference")
    assert record.coding_history == bext.get("codingHistory")
    assert record.format.sample_rate == expected["format"]["sampleRate"]
    assert record.duration == expected["audio"]["duration"]
    assert [(c.id, c.offset, c.size) for c in record.chunks] == \
        [(c["id"], c["offset"], c["size"]) for c in expected["layout"]]
    timecode = expected["timecode"] or {"value": None, "rate": record.rate,
                                         "rateSource": record.rate_source}
    assert (record.timecode, record.rate, record.rate_source) == \
        (timecode["value"], timecode["rate"], timecode["rateSource"])
    ixml = expected["iXML"] and dict(expected["iXML"])
    other = ixml.pop("other") if ixml else {}
    assert record.ixml == (ixml and {**ixml, **other})


@pytest.mark.parametrize("name", PRODUCERS)
def test_edit_round_trip(copies, name):
    (path,) = copies(name)
    before, audio = bextkit.read(path), bextkit.md5(path)
    history = (before.coding_history or "") + "A=PCM,F=48000,W=24,M=mono,T=bextkit\r\n"
    changes = bextkit.edit(path, description="Scene 4, take 2", originator="Boom",
                           coding_history=history)
    assert {c.field for c in changes} >= {"Description", "Originator"}
    after = bextkit.read(path)
    assert (after.description, after.originator, after.coding_history) == \
        ("Scene 4, take 2", "Boom", history)
    assert after.time_reference == (before.time_reference or 0)
    assert bextkit.md5(path) == audio
    peer = peer_fields(path)
    assert (peer["Description"], peer["Originator"]) == ("Scene 4, take 2", "Boom")
    assert bextkit.edit(path, description="Scene 4, take 2") == []


@pytest.mark.parametrize("fields, reason", [
    ({"originator": "x" * 33}, "Originator: 33 bytes"),
    ({"origination_date": "2023-02-29"}, "not a real date"),
    ({"description": "a\0b"}, "NUL"),
    ({"version": 3}, "expected 0, 1 or 2"),
    ({"version": 1, "loudness_value": -23.0}, "LoudnessValue"),
    ({"umid": 12}, "expected hexadecimal digits"),
    ({"ixml": {"CIRCLED": "maybe"}}, "iXML:CIRCLED: expected yes or no"),
    ({"ixml": {"TRACK_LIST/TRACK[1]/NAME": "Boom"}}, "a new one holds only"),
])
def test_refused_edits_write_nothing(copies, fields, reason):
    (path,) = copies("ffmpeg-bext.wav")
    original = path.read_bytes()
    with pytest.raises(bextkit.Refused) as refused:
        bextkit.edit(path, **fields)
    assert any(reason in r for r in refused.value.reasons), refused.value.reasons
    assert path.read_bytes() == original


def test_dry_run_writes_nothing_and_new_chunk_is_made(copies):
    (path,) = copies("sox.wav")
    original = path.read_bytes()
    assert bextkit.edit(path, dry_run=True, description="d")[0].after == "d"
    assert path.read_bytes() == original
    bextkit.edit(path, description="d", loudness_value=None, version=2)
    record = bextkit.read(path)
    assert (record.description, record.version, record.loudness_value) == ("d", 2, None)


def test_ixml_fields_edited_alone(copies):
    (path,) = copies("recorder.wav")
    before, audio = bextkit.read(path), bextkit.md5(path)
    changes = bextkit.edit(path, ixml={"SCENE": "14B", "CIRCLED": "no"})
    assert [tuple(c) for c in changes] == [("iXML:SCENE", "12A", "14B"),
                                           ("iXML:CIRCLED", "TRUE", "FALSE")]
    after = bextkit.read(path)
    assert (after.ixml["SCENE"], after.ixml["CIRCLED"]) == ("14B", "FALSE")
    # The bext chunk is left as it was: only iXML fields were asked for.
    assert (after.description, after.time_reference) == \
        (before.description, before.time_reference)
    assert bextkit.md5(path) == audio


def test_bytes_names_and_texts_survive(tmp_path):
    name = os.path.join(os.fsencode(tmp_path), b"caf\xe9 \xff.wav")
    with open(SAMPLE, "rb") as source, open(name, "wb") as target:
        target.write(source.read())
    text = b"caf\xe9".decode("utf-8", "surrogateescape")
    bextkit.edit(name, description=text)
    for path in (name, os.fsdecode(name)):
        record = bextkit.read(path)
        assert os.fsencode(record.path) == name
        assert record.description.encode("utf-8", "surrogateescape") == b"caf\xe9"
    with open(name, "rb") as f:
        assert b"caf\xe9\0" in f.read()
    (many,) = bextkit.read_many([name])
    assert os.fsencode(many.path) == name


def test_read_many_keeps_order_and_failures(tmp_path):
    paths = [YARDSTICK / n for n in PRODUCERS] * 30
    paths.insert(7, tmp_path / "missing.wav")
    got = list(bextkit.read_many(paths, workers=3, errors="return"))
    assert isinstance(got[7], bextkit.ReadError) and isinstance(got[7], OSError)
    assert "missing.wav" in str(got[7])
    assert [os.fsencode(r.path) for r in got if not isinstance(r, OSError)] == \
        [os.fsencode(p) for p in paths if p.name != "missing.wav"]
    with pytest.raises(bextkit.ReadError):
        list(bextkit.read_many(paths))


def test_check_finds_what_the_check_command_finds(copies, cli):
    (path,) = copies("ffmpeg-bext.wav")
    data = bytearray(path.read_bytes())
    at = data.index(b"bext") + 8 + 256 + 32 + 32  # the origination date
    data[at:at + 10] = b"2023-02-30"
    path.write_bytes(bytes(data))
    findings = bextkit.check(path, rules=["tech3285", "r98"])
    out = subprocess.run([cli, "check", "--json", "--rules", "tech3285,r98", str(path)],
                         capture_output=True, check=False).stdout
    expected = json.loads(out)["findings"]
    assert [(f.code, f.severity, f.offset) for f in findings] == \
        [(f["code"], f["severity"], f["offset"]) for f in expected]
    assert any(f.severity == "error" and f.offset == at for f in findings)


@pytest.mark.parametrize("call, result", [
    (lambda s: s.frames_from_label("01:00:00;00", "29.97"), 107892),
    (lambda s: s.label_from_frames(107892, "29.97"), "01:00:00;00"),
    (lambda s: s.frames_per_day("59.94"), 5178816),
    (lambda s: s.parse_rate("30000/1001"), "29.97"),
    (lambda s: s.position_of_sample(172800000, "25", 48000), (90000, 0)),
    (lambda s: s.why_illegal("00:01:00;00", "29.97") != "", True),
])
def test_smpte(call, result):
    assert call(bextkit.smpte) == result


@pytest.mark.parametrize("call", [
    lambda s: s.frames_from_label("00:01:00;01", "29.97"),
    lambda s: s.parse_rate("31"),
])
def test_smpte_refuses(call):
    with pytest.raises(ValueError):
        call(bextkit.smpte)
