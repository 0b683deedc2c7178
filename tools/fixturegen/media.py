"""Synthetic pictures and sound, their encoding with ffmpeg, and the cutting of the encoded streams
into access units and ADTS frames."""

import math
import os
import struct
import subprocess
import tempfile

WIDTH = 320
HEIGHT = 180
FPS = 15
SAMPLE_RATE = 24000
SAMPLES_PER_FRAME = 1024

# Frame code: two strips of 16 blocks across the top. Strip 0 (rows 0-19) holds the frame number,
# most significant bit left, white = 1; strip 1 (rows 20-39) holds the complement, so a reader can
# tell a damaged or foreign picture from a number.
CODE_BITS = 16
CODE_STRIP = 20
Y_BLACK = 16
Y_WHITE = 235

# Seven-segment digits for the human-readable counter (segments a..g).
_SEGMENTS = {
    '0': 'abcdef', '1': 'bc', '2': 'abdeg', '3': 'abcdg', '4': 'bcfg',
    '5': 'acdfg', '6': 'acdefg', '7': 'abc', '8': 'abcdefg', '9': 'abcdfg',
}
DIGIT_W = 24
DIGIT_H = 40
_SEG_T = 5


def _digit_mask(ch):
    segs = _SEGMENTS[ch]
    rows = [[False] * DIGIT_W for _ in range(DIGIT_H)]
    half = DIGIT_H // 2

    def fill(x0, y0, x1, y1):
        for y in range(y0, y1):
            for x in range(x0, x1):
                rows[y][x] = True
    if 'a' in segs:
        fill(0, 0, DIGIT_W, _SEG_T)
    if 'g' in segs:
        fill(0, half - _SEG_T // 2, DIGIT_W, half - _SEG_T // 2 + _SEG_T)
    if 'd' in segs:
        fill(0, DIGIT_H - _SEG_T, DIGIT_W, DIGIT_H)
    if 'f' in segs:
        fill(0, 0, _SEG_T, half)
    if 'b' in segs:
        fill(DIGIT_W - _SEG_T, 0, DIGIT_W, half)
    if 'e' in segs:
        fill(0, half, _SEG_T, DIGIT_H)
    if 'c' in segs:
        fill(DIGIT_W - _SEG_T, half, DIGIT_W, DIGIT_H)
    return rows


_MASKS = {ch: _digit_mask(ch) for ch in _SEGMENTS}


class PictureStyle:
    """What distinguishes one channel's pictures: background level, box colour and speed."""

    def __init__(self, base=70, box_u=90, box_v=200, speed=3, flash_every=0):
        self.base = base
        self.box_u = box_u
        self.box_v = box_v
        self.speed = speed
        # Frames n with n % flash_every == 0 are white (the A/V sync flash); 0 = never.
        self.flash_every = flash_every


def is_flash(style, n):
    return style.flash_every > 0 and n % style.flash_every == 0


_TEXTURE_ROWS = 30
_TEXTURE_TOP = HEIGHT - _TEXTURE_ROWS


def _texture():
    """A fixed pseudo-random texture (no library seed: a small LCG), twice the picture wide, so
    the encoder has detail to spend its bits on."""
    state = 12345
    rows = []
    for _ in range(_TEXTURE_ROWS):
        row = bytearray()
        for _ in range(2 * WIDTH // 4):
            state = (state * 1103515245 + 12345) & 0x7FFFFFFF
            v = 40 + (state >> 16) % 160
            row += bytes([v, v, 255 - v, 255 - v])
        rows.append(bytes(row))
    return rows


_TEXTURE = _texture()


def render_frame(n, style):
    """One yuv420p picture for frame number n."""
    w, h = WIDTH, HEIGHT
    flash = is_flash(style, n)
    # Background: a slowly moving horizontal ramp (or white on a flash frame).
    if flash:
        ramp = bytes([Y_WHITE]) * (2 * w)
    else:
        ramp = bytes([style.base + (x * 60) // w if x < w else style.base + ((2 * w - x) * 60) // w
                      for x in range(2 * w)])
    shift = (n * style.speed) % w
    bg_row = ramp[shift:shift + w]
    ylines = [bytearray(bg_row) for _ in range(h)]
    ulines = [bytearray([128]) * (w // 2) for _ in range(h // 2)]
    vlines = [bytearray([128]) * (w // 2) for _ in range(h // 2)]

    # A coloured box that moves across, so motion is visible and the encoder has work to do.
    bw, bh = 48, 48
    bx = (n * style.speed * 2) % (w - bw)
    by = 110
    if not flash:
        for y in range(by, by + bh):
            ylines[y][bx:bx + bw] = bytes([150]) * bw
        for y in range(by // 2, (by + bh) // 2):
            ulines[y][bx // 2:(bx + bw) // 2] = bytes([style.box_u]) * (bw // 2)
            vlines[y][bx // 2:(bx + bw) // 2] = bytes([style.box_v]) * (bw // 2)

    # A textured band at the bottom that scrolls the other way.
    if not flash:
        tshift = (WIDTH - (n * style.speed) % WIDTH) % WIDTH
        for k in range(_TEXTURE_ROWS):
            ylines[_TEXTURE_TOP + k][:] = _TEXTURE[k][tshift:tshift + w]

    # Frame code strips.
    bwid = w // CODE_BITS
    for b in range(CODE_BITS):
        bit = (n >> (CODE_BITS - 1 - b)) & 1
        v0 = Y_WHITE if bit else Y_BLACK
        v1 = Y_BLACK if bit else Y_WHITE
        for y in range(0, CODE_STRIP):
            ylines[y][b * bwid:(b + 1) * bwid] = bytes([v0]) * bwid
        for y in range(CODE_STRIP, 2 * CODE_STRIP):
            ylines[y][b * bwid:(b + 1) * bwid] = bytes([v1]) * bwid
    for y in range(0, CODE_STRIP):  # chroma neutral over the strips
        ulines[y][:] = bytes([128]) * (w // 2)
        vlines[y][:] = bytes([128]) * (w // 2)

    # Human-readable counter: five seven-segment digits.
    text = '%05d' % (n % 100000)
    x0 = (w - (len(text) * (DIGIT_W + 8) - 8)) // 2
    y0 = 55
    ink = Y_BLACK if flash else Y_WHITE
    for i, ch in enumerate(text):
        mask = _MASKS[ch]
        dx = x0 + i * (DIGIT_W + 8)
        for yy in range(DIGIT_H):
            row = ylines[y0 + yy]
            m = mask[yy]
            for xx in range(DIGIT_W):
                if m[xx]:
                    row[dx + xx] = ink
    return b''.join(ylines) + b''.join(ulines) + b''.join(vlines)


def render_video(frames, style):
    return b''.join(render_frame(n, style) for n in range(frames))


# ---- sound ----

def tone(freq, seconds, amplitude=0.25, rate=SAMPLE_RATE):
    count = int(round(seconds * rate))
    return [amplitude * math.sin(2 * math.pi * freq * i / rate) for i in range(count)]


def beeps(seconds, freq, period_samples, length_samples, amplitude=0.5, rate=SAMPLE_RATE):
    """Silence with a short tone starting exactly at every multiple of period_samples."""
    count = int(round(seconds * rate))
    out = [0.0] * count
    for start in range(0, count, period_samples):
        for i in range(start, min(count, start + length_samples)):
            out[i] = amplitude * math.sin(2 * math.pi * freq * (i - start) / rate)
    return out


def pcm_s16le(channels):
    """Interleaves lists of float samples into 16-bit little-endian PCM."""
    n = min(len(c) for c in channels)
    out = bytearray()
    for i in range(n):
        for c in channels:
            s = int(round(c[i] * 32767))
            out += struct.pack('<h', max(-32768, min(32767, s)))
    return bytes(out)


# ---- encoding ----

def _run(cmd, stdin_bytes):
    proc = subprocess.run(cmd, input=stdin_bytes, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if proc.returncode != 0:
        raise RuntimeError('ffmpeg failed: %s\n%s' % (' '.join(cmd), proc.stderr.decode(errors='replace')))
    return proc.stdout


def encode_h264(yuv, video_kbps=112):
    """Baseline H.264 with delimiters, parameter sets before every IDR and a one-second GOP."""
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, 'v.h264')
        _run(['ffmpeg', '-v', 'error', '-nostdin', '-y', '-f', 'rawvideo', '-pix_fmt', 'yuv420p',
              '-s', '%dx%d' % (WIDTH, HEIGHT), '-r', str(FPS), '-i', '-',
              '-c:v', 'libx264', '-profile:v', 'baseline', '-level', '1.2', '-preset', 'medium',
              '-threads', '1',
              '-x264-params', 'aud=1:keyint=%d:min-keyint=%d:scenecut=0:bframes=0:ref=1:'
              'repeat-headers=1:sliced-threads=0' % (FPS, FPS),
              '-b:v', '%dk' % video_kbps, '-maxrate', '%dk' % (video_kbps * 5 // 4),
              '-bufsize', '%dk' % (video_kbps * 5 // 4),
              '-bsf:v', 'filter_units=remove_types=6',  # drop the encoder's SEI banner
              '-bitexact', '-fflags', '+bitexact', '-f', 'h264', out], yuv)
        with open(out, 'rb') as f:
            return f.read()


def encode_aac(pcm, channels, kbps):
    """AAC-LC at 24 kHz in ADTS as ffmpeg writes it (FF F1, no CRC)."""
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, 'a.aac')
        _run(['ffmpeg', '-v', 'error', '-nostdin', '-y', '-f', 's16le', '-ar', str(SAMPLE_RATE),
              '-ac', str(channels), '-i', '-', '-c:a', 'aac', '-profile:a', 'aac_low',
              '-b:a', '%dk' % kbps, '-ar', str(SAMPLE_RATE), '-ac', str(channels),
              '-bitexact', '-flags', '+bitexact', '-fflags', '+bitexact', '-f', 'adts', out], pcm)
        with open(out, 'rb') as f:
            return f.read()


# ---- cutting ----

def split_nals(stream):
    """NAL units (without start codes) of an Annex B stream."""
    starts = []
    i = 0
    n = len(stream)
    while i + 3 <= n:
        if stream[i] == 0 and stream[i + 1] == 0 and stream[i + 2] == 1:
            starts.append(i + 3)
            i += 3
        else:
            i += 1
    nals = []
    for k, s in enumerate(starts):
        e = starts[k + 1] - 3 if k + 1 < len(starts) else n
        nal = stream[s:e]
        while nal.endswith(b'\x00') and k + 1 < len(starts):
            nal = nal[:-1]  # the leading zero of the next 4-byte start code
        nals.append(bytes(nal))
    return nals


def access_units(stream):
    """Access units, each as carried in one PES: every NAL behind a 4-byte start code, beginning
    with the delimiter. Returns (bytes, is_idr) pairs."""
    units = []
    cur = []
    for nal in split_nals(stream):
        t = nal[0] & 0x1F
        if t == 9 and cur:
            units.append(cur)
            cur = []
        cur.append(nal)
    if cur:
        units.append(cur)
    out = []
    for u in units:
        if (u[0][0] & 0x1F) != 9:
            raise ValueError('access unit without a delimiter')
        idr = any((x[0] & 0x1F) == 5 for x in u)
        out.append((b''.join(b'\x00\x00\x00\x01' + x for x in u), idr))
    return out


def adts_frames(stream):
    """Splits an ADTS stream into (header fields, raw data block) pairs."""
    frames = []
    i = 0
    while i + 7 <= len(stream):
        h = stream[i:i + 7]
        if h[0] != 0xFF or (h[1] & 0xF0) != 0xF0:
            raise ValueError('lost ADTS sync at %d' % i)
        absent = h[1] & 1
        length = ((h[3] & 3) << 11) | (h[4] << 3) | (h[5] >> 5)
        hl = 7 if absent else 9
        fields = {
            'profile': h[2] >> 6,
            'sf_index': (h[2] >> 2) & 0x0F,
            'channel_config': ((h[2] & 1) << 2) | (h[3] >> 6),
            'fullness': ((h[5] & 0x1F) << 6) | (h[6] >> 2),
            'blocks': h[6] & 3,
        }
        if fields['blocks'] != 0:
            raise ValueError('several raw data blocks in one ADTS frame')
        frames.append((fields, stream[i + hl:i + length]))
        i += length
    return frames


def crc16_adts(data):
    crc = 0xFFFF
    for b in data:
        crc ^= b << 8
        for _ in range(8):
            crc = ((crc << 1) ^ 0x8005) if crc & 0x8000 else (crc << 1)
            crc &= 0xFFFF
    return crc


def build_adts(fields, raw):
    """An ADTS frame as broadcast: MPEG-2 identifier, CRC present (sync bytes FF F8)."""
    length = 9 + len(raw)
    if length > 0x1FFF:
        raise ValueError('ADTS frame too long')
    p = fields['profile']
    sf = fields['sf_index']
    cc = fields['channel_config']
    full = fields.get('fullness', 0x7FF)
    h = bytearray(7)
    h[0] = 0xFF
    h[1] = 0xF8  # syncword, ID 1 (MPEG-2), layer 0, protection_absent 0
    h[2] = (p << 6) | (sf << 2) | (cc >> 2)
    h[3] = ((cc & 3) << 6) | ((length >> 11) & 3)
    h[4] = (length >> 3) & 0xFF
    h[5] = ((length & 7) << 5) | ((full >> 6) & 0x1F)
    h[6] = ((full & 0x3F) << 2) | 0  # one raw data block
    # CRC over the header and the first 192 bits of the raw data block (nothing here checks it,
    # but it must be the right size and stable).
    crc = crc16_adts(bytes(h) + raw[:24])
    return bytes(h) + bytes([crc >> 8, crc & 0xFF]) + raw


# ---- dual mono ----

class BitWriter:
    def __init__(self):
        self.bits = []

    def put(self, value, count):
        for k in range(count - 1, -1, -1):
            self.bits.append((value >> k) & 1)

    def put_bits(self, bits):
        self.bits.extend(bits)

    def align(self):
        while len(self.bits) % 8:
            self.bits.append(0)

    def data(self):
        self.align()
        out = bytearray()
        for i in range(0, len(self.bits), 8):
            v = 0
            for b in self.bits[i:i + 8]:
                v = (v << 1) | b
            out.append(v)
        return bytes(out)


def _bits(data):
    return [(byte >> (7 - k)) & 1 for byte in data for k in range(8)]


def mono_element_bits(raw, tag):
    """The elements of a mono raw data block before its END, with the SCE's instance tag set.
    The block is SCE ... END (111) followed by zero padding, so the last 1 bit closes END."""
    bits = _bits(raw)
    last = max(i for i, b in enumerate(bits) if b)
    if bits[last - 2:last + 1] != [1, 1, 1]:
        raise ValueError('raw data block does not end with END')
    body = bits[:last - 2]
    if body[0:3] != [0, 0, 0]:
        raise ValueError('mono raw data block does not start with a single channel element')
    body[3:7] = [(tag >> 3) & 1, (tag >> 2) & 1, (tag >> 1) & 1, tag & 1]
    return body


def program_config_element(sf_index):
    """PCE naming two front single channel elements (tags 0 and 1): dual mono."""
    w = BitWriter()
    w.put(5, 3)          # ID_PCE
    w.put(0, 4)          # element_instance_tag
    w.put(1, 2)          # object_type: AAC LC
    w.put(sf_index, 4)
    w.put(2, 4)          # num_front_channel_elements
    w.put(0, 4)          # side
    w.put(0, 4)          # back
    w.put(0, 2)          # lfe
    w.put(0, 3)          # assoc data
    w.put(0, 4)          # valid cc
    w.put(0, 1)          # mono mixdown
    w.put(0, 1)          # stereo mixdown
    w.put(0, 1)          # matrix mixdown
    for tag in (0, 1):
        w.put(0, 1)      # front_element_is_cpe
        w.put(tag, 4)
    w.align()            # byte_alignment (the block starts on a byte)
    w.put(0, 8)          # comment_field_bytes
    return w.bits


def dual_mono_frames(main_adts, sub_adts, pce_every):
    """Splices two mono encodes into dual-mono frames (channel configuration 0): frames k with
    k % pce_every == 0 begin with a program configuration element, every frame carries the main
    SCE (tag 0) and the sub SCE (tag 1)."""
    a = adts_frames(main_adts)
    b = adts_frames(sub_adts)
    if len(a) != len(b):
        raise ValueError('mono encodes differ in length')
    out = []
    for k, ((fa, ra), (fb, rb)) in enumerate(zip(a, b)):
        w = BitWriter()
        if k % pce_every == 0:
            w.put_bits(program_config_element(fa['sf_index']))
        w.put_bits(mono_element_bits(ra, 0))
        w.put_bits(mono_element_bits(rb, 1))
        w.put(7, 3)      # END
        fields = dict(fa)
        fields['channel_config'] = 0
        fields['fullness'] = 0x7FF
        out.append(build_adts(fields, w.data()))
    return out
