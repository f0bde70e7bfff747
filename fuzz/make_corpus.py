#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets from the frames the unit tests use.

Each seed is encoded in the targets' chunk scheme (see fuzz/harness.h):
a readItem selector, for the logger target a controls byte, then records
of a header byte (0x80 silence before, bits 5..6 the kind, bits 0..4 the
length, 31 = length in the next byte) and their bytes.

    python3 fuzz/make_corpus.py        # rewrites fuzz/corpus/
"""
import os
import shutil

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")


def crc16(data):
    crc = 0xFFFF
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def with_crc(body):
    c = crc16(body)
    return body + bytes([c & 0xFF, c >> 8])


def h(text):
    return bytes.fromhex(text)


ITEMS = {0: 0, 1: 1, 2: 2, 3: 3, 4: 4, 256: 5, 257: 6}


def item(value):
    if value in ITEMS:
        return bytes([ITEMS[value]])
    return bytes([7, value >> 8, value & 0xFF])


def header(kind, length, silence=False):
    top = (0x80 if silence else 0) | (kind << 5)
    if length < 31:
        return bytes([top | length])
    assert length < 256
    return bytes([top | 31, length])


def record(kind, payload, silence=False, extra=b""):
    return header(kind, len(payload), silence) + extra + payload


# Kind numbers as each target's table maps them.
RTU = {"raw": 0, "crc": 1, "repeat": 2, "frame": 3}
LOG = {"frame": 0, "raw": 1, "crc": 3}


def rtu_raw(payload, silence=False):
    return record(RTU["raw"], payload, silence)


def rtu_crc(body, silence=False):
    return record(RTU["crc"], body, silence)


def rtu_repeat(unit, count_byte, silence=False):
    return header(RTU["repeat"], len(unit), silence) + unit + bytes([count_byte])


def log_raw(payload, silence=False):
    return record(LOG["raw"], payload, silence)


def log_frame(selector, payload, silence=False, command=None, cut=None):
    """selector: 0 info 0x0C, 1 settings 0x1C, 2 long 0x2C, 3 the given command."""
    c = selector | (8 if cut is not None else 0)
    out = header(LOG["frame"], len(payload), silence) + bytes([c])
    if selector == 3:
        out += bytes([command])
    out += payload
    if cut is not None:
        out += bytes([cut])
    return out


def reply(command, size, fill=None):
    """A logger reply as tst_logger builds it: 7B 22 cmd ... 22 7D."""
    r = bytearray(size)
    r[0], r[1], r[2] = 0x7B, 0x22, command
    for k, v in (fill or {}).items():
        if k < size - 2:
            r[k] = v
    r[size - 2], r[size - 1] = 0x22, 0x7D
    return bytes(r)


ALL = h("01030A00FA01F4006E00C800004226")
INFO = {6: ord("2"), 7: ord("0"), 8: ord("2"), 9: ord("1"),
        12: 0x1A, 13: 0x0C, 14: 0x06, 15: 0x03, 16: 0x1F, 17: 0x1D}


def rtu_seeds():
    s = {}
    s["all_whole"] = item(0) + rtu_raw(ALL)
    s["all_two_chunks"] = item(0) + rtu_raw(ALL[:4]) + rtu_raw(ALL[4:])
    s["all_byte_by_byte"] = item(0) + b"".join(rtu_raw(ALL[i:i + 1]) for i in range(len(ALL)))
    s["all_then_empty_chunk"] = item(0) + rtu_raw(ALL) + rtu_raw(b"")
    s["all_one_byte_too_many"] = item(0) + rtu_raw(ALL + b"\x00")
    s["all_wrong_crc"] = item(0) + rtu_raw(ALL[:-1] + b"\x27")
    s["all_for_humidity_poll"] = item(1) + rtu_raw(ALL)
    s["temperature_minus10"] = item(0) + rtu_raw(h("010302FF9CF9DD"))
    s["humidity"] = item(1) + rtu_raw(h("01030201F4B853"))
    s["dew_crc_kind"] = item(2) + rtu_crc(h("010302FFF6"))
    s["wet_crc_kind"] = item(3) + rtu_crc(h("01030200C8"))
    s["status"] = item(4) + rtu_raw(h("01030200323991"))
    s["address_reply"] = item(256) + rtu_raw(h("0003020007C446"))
    s["address_echo"] = item(256) + rtu_raw(h("00060100000C89E2"))
    s["baud_echo"] = item(257) + rtu_raw(h("000601010004D9E4"))
    s["exception"] = item(1) + rtu_raw(h("018302C0F1"))
    s["exception_address"] = item(256) + rtu_raw(h("018302C0F1"))
    s["reply250"] = item(0) + rtu_crc(h("0103F5") + b"\x07" * 245)
    s["reply255_kept"] = item(0) + rtu_raw(with_crc(h("0103FA") + b"\x07" * 250)[:200]) \
        + rtu_raw(with_crc(h("0103FA") + b"\x07" * 250)[200:])
    s["bound_4096_then_one"] = item(0) + rtu_repeat(b"\x55\x55", 255) + rtu_raw(b"\x55")
    s["bound_then_all"] = item(0) + rtu_repeat(b"\x55\x55", 255) + rtu_raw(b"\x55") + rtu_raw(ALL)
    s["silence_between"] = item(0) + rtu_raw(ALL[:6]) + rtu_raw(ALL, silence=True)
    s["noise_then_silence_then_all"] = item(0) + rtu_raw(b"\xFF\x00\x13") + rtu_raw(ALL, silence=True)
    s["other_read_item"] = item(0x1234) + rtu_raw(ALL) + rtu_raw(h("0003020007C446"))
    s["logger_7b227d"] = item(257) + rtu_raw(h("7B227D"))
    s["logger_unfinished"] = item(257) + rtu_raw(h("7B220C00"))
    s["logger_frame_kind"] = item(0) + header(RTU["frame"], 0) + b"\x01"
    return s


def logger_seeds():
    s = {}
    info = reply(0x0C, 24, INFO)
    letters = dict(INFO)
    letters[7] = ord("x")
    # Each seed: readItem selector, controls byte (bit0 monitoring, bit1 timing start, bits2..5 interval).
    s["info_reply"] = item(257) + b"\x00" + log_raw(info)
    s["info_model_not_decimal"] = item(257) + b"\x00" + log_raw(reply(0x0C, 24, letters))
    s["info_short"] = item(257) + b"\x00" + log_raw(reply(0x0C, 16, INFO))
    payload = bytearray(18)
    payload[2:6] = b"2021"
    payload[8:14] = h("1A0C06031F1D")
    s["info_frame_kind"] = item(257) + b"\x00" + log_frame(0, bytes(payload))
    s["settings_40_60s"] = item(257) + b"\x00" + log_raw(reply(0x1C, 24, {10: 0x40, 17: 0x00, 18: 0x3C}))
    s["settings_60_45000s"] = item(257) + b"\x01" + log_raw(reply(0x1C, 24, {10: 0x60, 17: 0xAF, 18: 0xC8}))
    s["settings_9f"] = item(257) + b"\x00" + log_raw(reply(0x1C, 24, {10: 0x9F}))
    s["settings_cut_short"] = item(257) + b"\x00" + log_raw(reply(0x1C, 14, {10: 0x20}))
    settings = reply(0x1C, 24, {10: 0x20, 18: 5})
    s["settings_two_chunks"] = item(257) + b"\x00" + log_raw(settings[:9]) + log_raw(settings[9:])
    # Payload offsets are frame offsets less 4: mode at 10 -> 6, interval at 17..18 -> 13..14.
    sp = bytearray(20)
    sp[6] = 0x40
    sp[14] = 0x3C
    s["settings_frame_kind_monitoring"] = item(257) + bytes([0x01 | (4 << 2)]) + log_frame(1, bytes(sp))
    sp3 = bytearray(20)
    sp3[6] = 0x60
    s["settings_mode3_timing_start"] = item(257) + bytes([0x02 | (5 << 2)]) + log_frame(1, bytes(sp3))
    s["mode1_over_monitoring"] = item(257) + b"\x03" + log_raw(reply(0x1C, 24, {10: 0x20, 18: 15}))
    s["brace_7b227d"] = item(257) + b"\x00" + log_raw(h("7B227D"))
    long_frame = bytearray(reply(0x2C, 135))
    long_frame[60], long_frame[61] = 0x22, 0x7D
    long_frame = bytes(long_frame)
    s["long_62_bytes"] = item(257) + b"\x00" + log_raw(long_frame[:62])
    s["long_two_chunks"] = item(257) + b"\x00" + log_raw(long_frame[:62]) + log_raw(long_frame[62:])
    s["long_frame_kind_split"] = item(257) + b"\x00" + log_frame(2, b"\x00" * 56 + b"\x22\x7D", cut=62)
    s["info_then_settings_no_silence"] = item(257) + b"\x00" + log_raw(info) + log_raw(settings)
    s["info_then_settings_silence"] = item(257) + b"\x00" + log_raw(info) + log_raw(settings, silence=True)
    s["unfinished_takes_rtu_path"] = item(257) + b"\x00" + log_raw(h("7B220C00"))
    s["other_command"] = item(257) + b"\x00" + log_frame(3, b"\x01\x02", command=0x4A)
    s["rtu_all_among_frames"] = item(0) + b"\x00" + log_raw(ALL) + log_raw(info, silence=True)
    s["rtu_crc_kind"] = item(256) + b"\x00" + record(LOG["crc"], h("000302000A"))
    return s


def protocol_seeds():
    long_frame = bytearray(reply(0x2C, 135))
    return {
        "all_reply": ALL,
        "address_reply": h("0003020007C446"),
        "address_echo": h("00060100000C89E2"),
        "exception": h("018302C0F1"),
        "info_reply": reply(0x0C, 24, INFO),
        "settings_reply": reply(0x1C, 24, {10: 0x40, 17: 0x00, 18: 0x3C}),
        "long_frame": bytes(long_frame),
        "brace_7b227d": h("7B227D"),
        "setup_frame": h("7B224A1D6955B90000004000000000FFFF003C03200140032001406955C7100000B5227D"),
        "serial_write": h("7B22AA07001A0C06031F1D1C227D"),
        "empty": b"",
    }


def write(target, seeds):
    folder = os.path.join(CORPUS, target)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for name, data in sorted(seeds.items()):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    print(f"{target}: {len(seeds)} seeds")


if __name__ == "__main__":
    write("fuzz_rtu_reception", rtu_seeds())
    write("fuzz_logger_reception", logger_seeds())
    write("fuzz_protocol", protocol_seeds())
