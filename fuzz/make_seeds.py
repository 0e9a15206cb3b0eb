#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets into fuzz/corpus/<target>/.

Seeds are small: a valid frame or line of each kind, and a few edge inputs. Inputs
that once made a target fail are kept next to them (regression_*) and are not
written by this script.
"""
import os

HERE = os.path.dirname(os.path.abspath(__file__))
SOH, ETX, SEP, POST, NAK, SYN = 0x01, 0x03, 0x04, 0x05, 0x15, 0x16


def nibbles(v):
    return bytes(0x30 + ((v >> s) & 0xF) for s in (12, 8, 4, 0))


def tail(body):
    """Postamble, checksum of everything after SOH, terminator."""
    body = body + bytes([POST])
    return body + nibbles(sum(body[1:]) & 0xFFFF) + bytes([ETX])


def answer(data, seq=0x20, cmd=255, type1=False, status=None):
    data = data.encode("cp1250")
    if type1:
        status = status or bytes([0x80] * 6)
        body = bytes([SOH, len(data) + 0x2B, seq, cmd & 0xFF]) + data
    else:
        status = status or bytes([0x80] * 8)
        body = bytes([SOH]) + nibbles(len(data) + 0x33) + bytes([seq]) + nibbles(cmd) + data
    return tail(body + bytes([SEP]) + status)


def request(data, seq=0x20, cmd=74, type1=False):
    data = data.encode("cp1250")
    if type1:
        body = bytes([SOH, len(data) + 0x24, seq, cmd & 0xFF]) + data
    else:
        body = bytes([SOH]) + nibbles(len(data) + 0x2A) + bytes([seq]) + nibbles(cmd) + data
    return tail(body)


def write(target, name, content):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(content if isinstance(content, bytes) else content.encode("utf-8"))


# Engine: mode byte (bit 0 Type1, bit 1 plain command 90, bit 2 trace, bit 3 KT-33A profile),
# then the device's bytes.
ok255 = answer("0\tKESTREL TEST DEVICE\t")
write("fuzz_engine_answer", "type2_read", b"\x00" + ok255)
write("fuzz_engine_answer", "type2_read_traced", b"\x04" + ok255)
write("fuzz_engine_answer", "type2_plain_90", b"\x02" + answer("KT-33A,1.04 15-01-25 12:00,5A3C,00000000,AB123456,12345678", cmd=90))
write("fuzz_engine_answer", "type1_read", b"\x01" + answer("0,KESTREL TEST DEVICE", type1=True))
write("fuzz_engine_answer", "type1_plain_90_traced", b"\x07" + answer("KT-33A,1.04", cmd=90, type1=True))
write("fuzz_engine_answer", "syn_then_answer", b"\x00" + bytes([SYN] * 5) + ok255)
write("fuzz_engine_answer", "nak", b"\x00" + bytes([NAK]))
write("fuzz_engine_answer", "noise_then_answer", b"\x00" + b"\x7fnoise\x00\xff" + ok255)
write("fuzz_engine_answer", "bad_checksum", b"\x00" + ok255[:-2] + bytes([ok255[-2] ^ 1, ETX]))
write("fuzz_engine_answer", "cut_short", b"\x00" + ok255[:20])
write("fuzz_engine_answer", "error_status", b"\x00" + answer("0\t", status=bytes([0x81] + [0x80] * 7)))
write("fuzz_engine_answer", "profile_read", b"\x08" + ok255)
write("fuzz_engine_answer", "profile_error_status", b"\x08" + answer("0\t", status=bytes([0x80, 0x80, 0x85] + [0x80] * 5)))
write("fuzz_engine_answer", "field0_not_a_number", b"\x00" + answer("zero\tx\t"))
write("fuzz_engine_answer", "empty_answer", b"\x00" + answer(""))
write("fuzz_engine_answer", "nothing", b"\x00")

# Simulator: mode byte (bit 0 Type1, bits 1-7 piece size - 1), then what a client sends.
session = b"".join(
    request(d, seq=0x20 + i, cmd=c)
    for i, (c, d) in enumerate(
        [
            (74, ""),
            (90, "#\t"),
            (255, "Header\t1\t\t"),
            (83, "17.00\t0.00\t100.00\t100.00\t100.00\t"),
            (107, "P\t1\t1\t0\t1\t0\t3.30\t\t0\t3870000000001\t\t\t\tMilk 1l\t"),
            (48, "1\t0000\t1234567890123456\t1\t"),
            (58, "1\t2.000\t12.50\t0\t0.00\t"),
            (53, "0\t\t"),
            (56, ""),
            (69, "X\t"),
            (124, "01-07-25 00:00:00\t01-07-25 23:59:59\t0\t"),
            (125, "0\t"),
            (125, "1\t"),
        ]
    )
)
write("fuzz_sim_request", "session_whole", b"\xfe" + session)
write("fuzz_sim_request", "session_in_bytes", b"\x00" + session)
write("fuzz_sim_request", "type1_frames", b"\x07" + request("", cmd=74, type1=True) + request("#\t", seq=0x21, cmd=90, type1=True))
write("fuzz_sim_request", "noise_and_bad_frames", b"\x10" + b"xx\x01\x30" + request("", cmd=74)[:-2] + b"\x30\x03" + request("", cmd=62))
write("fuzz_sim_request", "service_and_files", b"\x20" + request("0\t1234\t", cmd=253) + request("3\t", seq=0x21, cmd=129)
      + request("0\tKEYSTORE/root.crt\t", seq=0x22, cmd=129) + request("1\t", seq=0x23, cmd=129))

# Special symbols: typed command data.
for name, text in {
    "tokens": "Header\t1\t[tab][lf][cr]#[1B]x",
    "escapes": "a\\tb\\nc\\r\\",
    "unclosed": "[tab",
    "byte_codes": "[\\0A][#27][#255][ESC]",
    "single": "[NEW LINE]",
}.items():
    write("fuzz_special_symbols", name, text)

# fillAnswerList: "delimiters NUL source" (delimiters split by 01h).
write("fuzz_fill_answer_list", "tab", "0\tfield one\tfield two\t")
write("fuzz_fill_answer_list", "comma_blank", ",\x01 \x00KT-33A,1.04 15-01-25 12:00,5A3C")
write("fuzz_fill_answer_list", "wide", "\u0161\x01ab\x00x\u0161yabz")
write("fuzz_fill_answer_list", "no_delimiters", "\x00whole source")
write("fuzz_fill_answer_list", "empty_source", "\t\x00")

# HexToLongWord.
for name, text in {"word": "DEADBEEF", "lower": "7fff", "too_long": "1FFFFFFFF", "bad": "12G4", "empty": ""}.items():
    write("fuzz_hex_to_longword", name, text)

# CSV: first byte picks the arguments, then a line.
for name, text in {
    "items": '\x05"1";"Milk 1l";"3,30";"1";',
    "header": '\x01"PLU";"Name";',
    "unquoted": "\x22 1;2,5; 3",
    "quotes_only": '\x00"',
}.items():
    write("fuzz_csv", name, text)
