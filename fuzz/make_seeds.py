#!/usr/bin/env python3
"""Makes the fuzz targets' seed corpora: real frames cut from the shared
captures (one frame a file, the first byte naming the link type for the
decoder target), small savefiles, and hand-made packet, version and settings
files. Run from the source root; the result is kept in the repository, so this
only needs running again to refresh it."""
import os
import struct
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CORPUS = os.path.normpath(os.path.join(ROOT, "..", "shared", "corpus"))
SEEDS = os.path.join(ROOT, "fuzz", "seeds")

# Index into the decoder target's link-type table for the savefile's link type.
LINK_INDEX = {1: 0, 0: 1, 101: 2, 12: 3, 14: 4, 108: 5, 113: 6, 228: 7, 276: 8}


def frames(path):
    with open(path, "rb") as f:
        data = f.read()
    magic = data[:4]
    if magic in (b"\xd4\xc3\xb2\xa1", b"\x4d\x3c\xb2\xa1"):
        e = "<"
    elif magic in (b"\xa1\xb2\xc3\xd4", b"\xa1\xb2\x3c\x4d"):
        e = ">"
    else:
        return 0, []
    link = struct.unpack(e + "I", data[20:24])[0] & 0x0FFFFFFF
    out, at = [], 24
    while at + 16 <= len(data):
        caplen = struct.unpack(e + "I", data[at + 8:at + 12])[0]
        out.append(data[at + 16:at + 16 + caplen])
        at += 16 + caplen
    return link, out


def pcapng_block(e, kind, body, options=b""):
    body = body + b"\x00" * (-len(body) % 4)
    if options:
        options += b"\x00\x00\x00\x00"
    total = 12 + len(body) + len(options)
    return struct.pack(e + "II", kind, total) + body + options + struct.pack(e + "I", total)


def pcapng_option(e, code, value):
    return struct.pack(e + "HH", code, len(value)) + value + b"\x00" * (-len(value) % 4)


def pcapng_seeds(frame):
    """pcapng files with every block the reader knows, in both byte orders,
    and each kind of damage it names."""
    seeds = {}
    for e, order in (("<", "le"), (">", "be")):
        shb = pcapng_block(e, 0x0A0D0D0A, struct.pack(e + "IHHq", 0x1A2B3C4D, 1, 0, -1),
                           pcapng_option(e, 1, b"section comment"))
        idb = pcapng_block(e, 1, struct.pack(e + "HHI", 1, 0, 0),
                           pcapng_option(e, 2, b"eth0") + pcapng_option(e, 9, b"\x09"))
        idb2 = pcapng_block(e, 1, struct.pack(e + "HHI", 113, 0, 96), pcapng_option(e, 14, struct.pack(e + "q", 5)))
        epb = pcapng_block(e, 6, struct.pack(e + "IIIII", 0, 1, 2, len(frame), len(frame)) + frame,
                           pcapng_option(e, 1, b"packet comment"))
        pb = pcapng_block(e, 2, struct.pack(e + "HHIIII", 1, 0, 1, 2, len(frame), len(frame)) + frame)
        spb = pcapng_block(e, 3, struct.pack(e + "I", len(frame)) + frame)
        nrb = pcapng_block(e, 4, struct.pack(e + "HH", 1, 13) + b"\xc0\x00\x02\x01host.test\x00" + b"\x00" * 3
                           + struct.pack(e + "HH", 0, 0))
        isb = pcapng_block(e, 5, struct.pack(e + "III", 0, 0, 0),
                           pcapng_option(e, 5, struct.pack(e + "Q", 3)) + pcapng_option(e, 7, struct.pack(e + "Q", 4)))
        dsb = pcapng_block(e, 10, struct.pack(e + "II", 0x544C534B, 4) + b"keys")
        custom = pcapng_block(e, 0x00000BAD, struct.pack(e + "I", 32473) + b"custom")
        whole = shb + idb + idb2 + epb + pb + spb + nrb + isb + dsb + custom
        seeds["every-block-" + order + ".pcapng"] = whole
        seeds["two-sections-" + order + ".pcapng"] = whole + (shb + idb + epb if e == "<" else whole)
        seeds["no-interface-" + order + ".pcapng"] = shb + epb
        seeds["missing-interface-" + order + ".pcapng"] = shb + idb + epb.replace(struct.pack(e + "I", 0), struct.pack(e + "I", 9), 1)
        bad_trailer = bytearray(shb + idb + epb)
        bad_trailer[-1] ^= 0x10
        seeds["bad-trailer-" + order + ".pcapng"] = bytes(bad_trailer)
        seeds["cut-" + order + ".pcapng"] = (shb + idb + epb)[:-9]
    # The other pcap variants: nanoseconds, big-endian, the modified format.
    head = struct.pack("<IHHiIII", 0xA1B23C4D, 2, 4, 0, 0, 0, 1)
    seeds["nanoseconds.pcap"] = head + struct.pack("<IIII", 1, 999999999, len(frame), len(frame)) + frame
    head = struct.pack(">IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, 1)
    seeds["big-endian.pcap"] = head + struct.pack(">IIII", 1, 2, len(frame), len(frame)) + frame
    head = struct.pack("<IHHiIII", 0xA1B2CD34, 2, 4, 0, 0, 65535, 1)
    seeds["modified.pcap"] = head + struct.pack("<IIIIIHBB", 1, 2, len(frame), len(frame), 2, 0x800, 0, 0) + frame
    head = struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 100, 1)
    seeds["longer-than-snapshot.pcap"] = head + struct.pack("<IIII", 1, 2, 200, 200) + b"\x00" * 200
    return seeds


def write(target, name, data):
    os.makedirs(os.path.join(SEEDS, target), exist_ok=True)
    with open(os.path.join(SEEDS, target, name), "wb") as f:
        f.write(data)


def main():
    if not os.path.isdir(CORPUS):
        sys.exit("no shared captures at " + CORPUS)
    sources = sorted(os.path.join(CORPUS, n) for n in os.listdir(CORPUS) if n.endswith(".pcap"))
    sources += sorted(os.path.join(CORPUS, "linktypes", n)
                      for n in os.listdir(os.path.join(CORPUS, "linktypes")) if n.endswith(".pcap"))
    sources.append(os.path.join(ROOT, "samples", "demo.pcap"))
    for path in sources:
        base = os.path.splitext(os.path.basename(path))[0]
        link, fs = frames(path)
        if link not in LINK_INDEX or not fs:
            continue
        # A frame from the middle, past the handshakes that open most captures.
        picks = [len(fs) // 2]
        for i in picks:
            write("decoder", "%s-%d" % (base, i), bytes([LINK_INDEX[link]]) + fs[i][:1600])
        # Small savefiles whole; larger ones cut after three frames.
        with open(path, "rb") as f:
            data = f.read()
        if len(data) <= 1500:
            write("savefile", base + ".pcap", data)

    demo_link, demo_frames = frames(os.path.join(ROOT, "samples", "demo.pcap"))
    for name, data in pcapng_seeds(demo_frames[0][:200]).items():
        write("savefile", name, data)

    # The TLS test captures: their hellos and the server's first flight.
    tls = os.path.join(ROOT, "tests", "decode", "data", "tls")
    for name in sorted(n for n in os.listdir(tls) if n.endswith(".pcap")):
        link, fs = frames(os.path.join(tls, name))
        for i in (3, 5):
            if i < len(fs):
                write("decoder", "%s-%d" % (os.path.splitext(name)[0], i), bytes([LINK_INDEX[link]]) + fs[i][:1600])

    spk = b"QUORVANET VERSION 1\r\n"
    write("packet_file", "ok", spk + b"14\r\n" + bytes(range(14)))
    write("packet_file", "empty", spk + b"0\r\n")
    write("packet_file", "short", spk + b"60\r\n" + b"\x00" * 20)
    write("packet_file", "long", spk + b"1600\r\n" + b"\xab" * 1600)
    write("packet_file", "not-a-number", spk + b"1x\r\n\x00")
    write("packet_file", "wrong-magic", b"QUORVANET VERSION 2\r\n1\r\n\x00")

    write("version_file", "newer", b"Quorvanet\r\n1 2 0\r\n<p>New decoders.</p>\r\n<ul><li>x</li></ul>\r\n")
    write("version_file", "older", b"QUORVANET\n1 0 0\n<p>old</p>\n")
    write("version_file", "same", b"quorvanet\r\n1 0 1\r\n")
    write("version_file", "bad-number", b"Quorvanet\r\n1 x 2\r\nnothing\r\n")
    write("version_file", "other-program", b"Wireless\r\n9 9 9\r\n")

    write("settings", "full.ini",
          b"[Test]\nTestValue=6531\n[pcap]\nCurrentDevice=eth0\n[log]\nBool=1\nBoolDelete=0\n"
          b"BoolSize=1\nBoolCnt=1\nDelete=30\nSize=1000000\nCnt=100\nDirectory=/var/log/quorvanet/\n"
          b"UseDNS=1\nCheckForNewVer=0\ncolor%201=255\ncolor%202=65280\nTotalMaxCnt=5000\n"
          b"TotalMaxSize=10000000\nAction=1\nTotalMaxStatCnt=30\n[Update]\nVersionUrl=http://localhost/v.txt\n")
    write("settings", "no-marker.ini", b"[log]\nBool=1\nTotalMaxCnt=7\n[Update]\nVersionUrl=x\n")
    write("settings", "damaged.ini", b"[Test\nTestValue=6531\n[log]\nAction=two\nTotalMaxCnt=-9\n\x00\xff=\n")
    write("settings", "quoted.ini", b"[Test]\nTestValue=6531\n[log]\nDirectory=\"/tmp/a, b\"\nCnt=@Variant(\\0\\0\\0\\x2)\n")

    for name in ("dns.ssc", "dns-question.ssc"):
        with open(os.path.join(ROOT, "samples", name), "rb") as f:
            write("script", name, f.read())
    write("script", "full-length", b"ipv4\r\n1\r\np 9 = 17\r\nFULL\r\nAny\r\n"
          b"single: 0 4 \"Word: %u\", 0 4\r\ncondit: 0 1 1 \"one\"\r\n")
    write("script", "length-field", b"tcp\n0\n&2 2\nTLV\nsingle: 0 2 \"Type %x %c %d %%\", 0 2\n")
    write("script", "bad-line", b"udp\n1\np 1 ~ 5\n8\nX\n")

    rules = (b"QUORVANET LOG FILE\r\n1\r\n0\r\n"
             b"1 16389 1\r\n0 512 0\r\n1 63 0\r\n1 32767 1\r\n"
             b"1 -1 1514\r\n"
             b"1 2\r\nAA:BB:CC:DD:EE:FF\tboth\r\n1:2:3:4:5:6\tsource\r\n"
             b"0 1\r\n10.0.0.1\tdestination\r\n"
             b"1 3\r\n80\tsource\r\n65535\tdestination\r\n7\tboth\r\n"
             b"1 3 1\r\ntcp port 80 and host 10.0.0.1\t1\r\narp\t0\r\n udp\t\t1\r\n")
    write("rule_file", "every-page.rul", rules)
    write("rule_file", "lf-only.rul", b"QUORVANET LOG FILE\n1\n1\n1 4\n1\n0 0 1\n0 0 1\n0 0 1\n1 1 60\n"
          b"0 0\n0 0\n1 1\n22 both\n1 1 0\nicmp\t1\n")
    write("rule_file", "cut-short.rul", rules[:150])
    write("rule_file", "wrong-version.rul", rules.replace(b"\r\n1\r\n0", b"\r\n2\r\n0", 1))

    # Display filters: tshark's language, valid and faulty.
    filters = {
        "names-and-sets": b'dns.qry.name contains "example" && !(udp.port in {53, 5353})',
        "addresses": b"ip.addr == 10.0.0.0/8 or ipv6.src == fe80::/10 || eth.src == 00:11:22:33:44:55",
        "numbers-and-times": b"frame.len > 0x40 and tcp.port >= 1024 and frame.time_relative <= 1.5",
        "regex-and-slice": b'dns.qry.name matches "^www\\\\.[a-z]+" and ip.src[0:2] == c0:a8',
        "field-against-field": b"udp.srcport != udp.dstport ^^ not tcp",
        "ranges": b"udp.port in {50..60, 443} and ip.ttl < 65",
        "misspelt-field": b"dns.qry.nmae == 1",
        "missing-value": b"ip.addr ==",
        "open-group": b"((tcp.port == 80) or udp",
        "open-string": b'http.host == "example.com',
        "bad-address": b"ip.addr == 300.1.1.1",
        "deep-negation": b"!" * 300 + b"tcp",
    }
    for name, text in filters.items():
        write("display_filter", name, text)

    # The capture helper's control channel: message streams of both ends.
    def msg(kind, payload):
        return struct.pack("<II", kind, len(payload)) + payload

    def text(s):
        return struct.pack("<I", len(s)) + s

    write("control", "capture-run.bin",
          msg(1, struct.pack("<IIQI", 1, 65535, 4194304, 0)) + msg(2, struct.pack("<QQ", 0, 68)) +
          msg(4, text(b"promiscuous mode not supported")) + msg(3, struct.pack("<QQQ", 10, 1, 0)) +
          msg(7, struct.pack("<QQ", 5, 900)) + msg(6, struct.pack("<QQ", 10, 1500)))
    write("control", "adapters.bin",
          msg(8, struct.pack("<I", 2) + text(b"eth0") + text(b"") + struct.pack("<I", 0x16) +
              struct.pack("<III", 2, 1, 143) + struct.pack("<I", 1) + struct.pack("<HB", 2, 24) +
              bytes([192, 0, 2, 7]) + bytes(12) + text(b"any") + text(b"Pseudo-device") +
              struct.pack("<III", 0, 0, 0)))
    write("control", "rights-and-filters.bin",
          msg(9, struct.pack("<I", 31) + text(b"can capture")) + msg(101, text(b"tcp port 80")) +
          msg(10, struct.pack("<I", 0) + text(b"syntax error")) + msg(100, b""))
    write("control", "send.bin",
          msg(103, struct.pack("<III", 20000, 10, 14) + bytes(range(14))) + msg(11, struct.pack("<QQ", 5, 0)) +
          msg(12, struct.pack("<QQQ", 20000, 0, 200000000) + text(b"")) + msg(102, b""))
    write("control", "cut-short.bin", msg(6, struct.pack("<QQ", 1, 2))[:13])
    write("control", "unknown-type.bin", msg(55, b"abc"))


if __name__ == "__main__":
    main()
