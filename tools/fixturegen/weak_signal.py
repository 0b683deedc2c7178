#!/usr/bin/python3
"""Makes a broadcast as received at the edge of reception from a clean one: packets lost, stray
packets that start with the sync byte, and flipped bits, all from a fixed seed. Writes the damaged
stream and damage.json, which lists the counts and the audio frames the damage touched.

    /usr/bin/python3 tools/fixturegen/weak_signal.py CLEAN.ts OUTDIR [--seed N]
"""

import argparse
import json
import os
import random
import zlib

PACKET = 188
AUDIO_PID = 0x0183
DROP = 0.05          # of the clean packets
STRAY = 0.02         # stray packets inserted after a clean one
BIT_ERROR = 1 / 8000  # one flipped bit in 1,000 bytes sent


def pid_of(p):
    return ((p[1] & 0x1F) << 8) | p[2]


def audio_frames(packets):
    """(packet index, first byte, last byte) of each ADTS frame on the audio PID, as byte spans of
    the audio payload stream, and for every audio packet its span of that stream."""
    stream = bytearray()
    spans = {}
    for i, p in enumerate(packets):
        if pid_of(p) != AUDIO_PID:
            continue
        afc = (p[3] >> 4) & 3
        off = 4 + (1 + p[4] if afc & 2 else 0)
        if not afc & 1 or off >= PACKET:
            continue
        payload = p[off:]
        if p[1] & 0x40:  # PES start: skip its header
            payload = payload[9 + payload[8]:]
        spans[i] = (len(stream), len(stream) + len(payload))
        stream += payload
    frames = []
    pos = 0
    while pos + 7 <= len(stream):
        if stream[pos] != 0xFF or (stream[pos + 1] & 0xF0) != 0xF0:
            pos += 1
            continue
        length = ((stream[pos + 3] & 3) << 11) | (stream[pos + 4] << 3) | (stream[pos + 5] >> 5)
        if length < 7:
            pos += 1
            continue
        frames.append((pos, pos + length))
        pos += length
    return frames, spans


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument('clean')
    ap.add_argument('outdir')
    ap.add_argument('--seed', type=int, default=18)
    args = ap.parse_args()
    data = open(args.clean, 'rb').read()
    packets = [data[i:i + PACKET] for i in range(0, len(data) - PACKET + 1, PACKET)]
    frames, spans = audio_frames(packets)
    rng = random.Random(args.seed)
    out = bytearray()
    damaged_spans = []
    dropped = stray = flipped = 0
    for i, p in enumerate(packets):
        if rng.random() < DROP:
            dropped += 1
            if i in spans:
                damaged_spans.append(spans[i])
            continue
        p = bytearray(p)
        hit = False
        # Bit errors: the gap to the next flipped bit is geometric.
        bit = int(rng.expovariate(BIT_ERROR))
        while bit < PACKET * 8:
            p[bit // 8] ^= 0x80 >> (bit % 8)
            flipped += 1
            hit = True
            bit += 1 + int(rng.expovariate(BIT_ERROR))
        if hit and i in spans:
            damaged_spans.append(spans[i])
        out += p
        if rng.random() < STRAY:
            stray += 1
            out += bytes([0x47]) + bytes(rng.getrandbits(8) for _ in range(PACKET - 1))
    damaged = sorted({k for k, (a, b) in enumerate(frames)
                      for (s, e) in damaged_spans if s < b and a < e})
    os.makedirs(args.outdir, exist_ok=True)
    with open(os.path.join(args.outdir, 'stream.ts'), 'wb') as f:
        f.write(out)
    info = {
        'source': os.path.basename(os.path.dirname(os.path.abspath(args.clean))),
        'seed': args.seed,
        'packets': len(packets),
        'dropped_packets': dropped,
        'stray_packets': stray,
        'flipped_bits': flipped,
        'audio_frames': len(frames),
        'damaged_audio_frames': damaged,
        'crc32': zlib.crc32(out),
    }
    with open(os.path.join(args.outdir, 'damage.json'), 'w') as f:
        json.dump(info, f, indent=1)
        f.write('\n')


if __name__ == '__main__':
    main()
