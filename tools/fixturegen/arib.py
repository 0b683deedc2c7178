"""ARIB text and tables: the 8-bit character coding of service and event texts, caption data
groups, the service description and the present/following event information."""

import datetime

import ts

ESC = 0x1B
LS1R = bytes([ESC, 0x7E])   # GR = alphanumeric (G1)
LS2R = bytes([ESC, 0x7D])   # GR = hiragana (G2)
LS3R = bytes([ESC, 0x7C])   # GR = katakana (G3)
SS3 = 0x1D                  # one katakana character


def _hira_code(ch):
    c = ord(ch)
    return c - 0x3020 if 0x3041 <= c <= 0x3093 else None


def _kata_code(ch):
    c = ord(ch)
    return c - 0x3080 if 0x30A1 <= c <= 0x30F6 else None


def _alnum(ch):
    c = ord(ch)
    return 0x21 <= c <= 0x7E


def _kanji_bytes(ch):
    e = ch.encode('euc_jp')
    if len(e) != 2 or e[0] < 0xA1 or e[1] < 0xA1:
        raise ValueError('not a JIS X 0208 character: %r' % ch)
    return bytes([e[0] & 0x7F, e[1] & 0x7F])


def encode_8bit(text):
    """Encodes text with the initial sets of SI text (GL = Kanji, GR = hiragana): hiragana as
    single GR bytes, runs of katakana through LS3R (a lone one through SS3), ASCII runs through
    LS1R, everything else as two-byte Kanji in GL. Spaces must be full-width (U+3000)."""
    out = bytearray()
    gr = 'hira'
    i = 0
    while i < len(text):
        ch = text[i]
        h = _hira_code(ch)
        k = _kata_code(ch)
        if h is not None:
            if gr != 'hira':
                out += LS2R
                gr = 'hira'
            out.append(h | 0x80)
        elif k is not None:
            run = 1
            while i + run < len(text) and _kata_code(text[i + run]) is not None:
                run += 1
            if gr == 'kata' or run >= 2:
                if gr != 'kata':
                    out += LS3R
                    gr = 'kata'
                out.append(k | 0x80)
            else:
                out += bytes([SS3, k])
        elif _alnum(ch):
            if gr != 'alnum':
                if ch == '1':
                    raise ValueError('an ASCII run must not begin with "1" here')
                out += LS1R
                gr = 'alnum'
            out.append(ord(ch) | 0x80)
        else:
            if ch == ' ':
                raise ValueError('use a full-width space')
            out += _kanji_bytes(ch)
        i += 1
    return bytes(out)


# ---- times ----

def mjd(date):
    return date.toordinal() - datetime.date(1858, 11, 17).toordinal()


def bcd(v):
    return ((v // 10) << 4) | (v % 10)


def start_time_bytes(dt):
    m = mjd(dt.date())
    return bytes([m >> 8, m & 0xFF, bcd(dt.hour), bcd(dt.minute), bcd(dt.second)])


def duration_bytes(seconds):
    if seconds is None:
        return b'\xFF\xFF\xFF'
    return bytes([bcd(seconds // 3600), bcd(seconds // 60 % 60), bcd(seconds % 60)])


# ---- SDT and EIT ----

def service_descriptor(service_type, provider, name):
    p = encode_8bit(provider)
    n = encode_8bit(name)
    body = bytes([service_type, len(p)]) + p + bytes([len(n)]) + n
    return bytes([0x48, len(body)]) + body


def sdt(tsid, onid, services, version=0):
    """services: (service_id, service_type, provider, name, eit_pf)."""
    body = onid.to_bytes(2, 'big') + b'\xFF'
    for sid, stype, provider, name, pf in services:
        desc = service_descriptor(stype, provider, name)
        desc += bytes([0xCF, 7, 0x01, 0xFE, sid & 0xFF, 0xF0, 0x00, 0x00, 0x10])  # logo transmission
        body += sid.to_bytes(2, 'big') + bytes([0xFC | (0x01 if pf else 0)])
        body += (0x8000 | len(desc)).to_bytes(2, 'big') + desc  # running, not scrambled
    return ts.section(0x42, tsid, version, 0, 0, body, reserved_future=True)


def short_event_descriptor(name, text):
    n = encode_8bit(name)
    t = encode_8bit(text)
    body = b'jpn' + bytes([len(n)]) + n + bytes([len(t)]) + t
    if len(body) > 255:
        raise ValueError('short event descriptor too long')
    return bytes([0x4D, len(body)]) + body


def extended_event_descriptor(items):
    body = b''
    for desc, text in items:
        d = encode_8bit(desc)
        t = encode_8bit(text)
        body += bytes([len(d)]) + d + bytes([len(t)]) + t
    full = bytes([0x00]) + b'jpn' + bytes([len(body)]) + body + bytes([0])
    return bytes([0x4E, len(full)]) + full


def content_descriptor(genre):
    return bytes([0x54, 2, genre, 0xFF])


def eit_pf(service_id, tsid, onid, number, event, version=0):
    """One section of the actual present/following table (number 0 present, 1 following)."""
    desc = short_event_descriptor(event['name'], event['text'])
    desc += extended_event_descriptor(event.get('items', [])) + content_descriptor(event.get('genre', 0x00))
    running = 4 if number == 0 else 1
    ev = event['event_id'].to_bytes(2, 'big') + start_time_bytes(event['start']) + duration_bytes(event['duration'])
    ev += ((running << 13) | len(desc)).to_bytes(2, 'big') + desc
    body = tsid.to_bytes(2, 'big') + onid.to_bytes(2, 'big') + bytes([1, 0x4E]) + ev
    return ts.section(0x4E, service_id, version, number, 1, body, reserved_future=True)


# ---- captions ----

COLOURS = {'black': 0x80, 'red': 0x81, 'green': 0x82, 'yellow': 0x83, 'blue': 0x84,
           'magenta': 0x85, 'cyan': 0x86, 'white': 0x87}
COLOUR_NUMBER = {k: v - 0x7F for k, v in COLOURS.items()}


def crc16_ccitt(data):
    crc = 0
    for b in data:
        crc ^= b << 8
        for _ in range(8):
            crc = ((crc << 1) ^ 0x1021) if crc & 0x8000 else (crc << 1)
            crc &= 0xFFFF
    return crc


def statement_body(lines, time_tenths=None):
    """Statement text: a clear-screen code, then each line with its colour code (the first after
    CS, the later ones after APR), EUC-JP text, and a TIME code at the end."""
    out = bytearray()
    for i, (colour, text) in enumerate(lines):
        out.append(0x0C if i == 0 else 0x0D)
        if colour is not None:
            out.append(COLOURS[colour])
        out += text.encode('euc_jp')
    if time_tenths is not None:
        out += bytes([0x9D, 0x20, 0x40 | time_tenths])
    return bytes(out)


def data_unit(parameter, data):
    return bytes([0x1F, parameter]) + len(data).to_bytes(3, 'big') + data


def data_group(group_id, version, payload):
    body = bytes([(group_id << 2) | (version & 3), 0, 0]) + len(payload).to_bytes(2, 'big') + payload
    return body + crc16_ccitt(body).to_bytes(2, 'big')


def caption_statement(body, tmd=0, otm=None):
    units = data_unit(0x20, body)
    head = bytes([(tmd << 6) | 0x3F])
    if tmd in (1, 2):
        h, m, s, ms = otm
        head += bytes([bcd(h), bcd(m), bcd(s), bcd(ms // 10), ((ms % 10) << 4) | 0x0F])
    return head + len(units).to_bytes(3, 'big') + units


def caption_management():
    """Management data: free time mode, one language (Japanese, shown on receipt)."""
    lang = bytes([0x10]) + b'jpn' + bytes([0x80])  # tag 0, DMF 0; format, TCS 0 (8-bit), no roll-up
    head = bytes([0x3F, 1]) + lang
    return head + (0).to_bytes(3, 'big')


def caption_pes_data(group):
    """Synchronised PES data: data identifier 0x80, private stream 0xFF, no extra header."""
    return bytes([0x80, 0xFF, 0xF0]) + group
