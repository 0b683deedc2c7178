"""MPEG-2 transport-stream building blocks: sections, PES packets, 188-byte packets."""

PACKET = 188


def crc32_mpeg(data):
    crc = 0xFFFFFFFF
    for b in data:
        crc ^= b << 24
        for _ in range(8):
            crc = ((crc << 1) ^ 0x04C11DB7) if crc & 0x80000000 else (crc << 1)
            crc &= 0xFFFFFFFF
    return crc


def section(table_id, ext, version, number, last, body, reserved_future=False):
    """A long-form section with CRC: body is what follows last_section_number. SI tables set the
    bit after the syntax indicator (reserved_future)."""
    length = 5 + len(body) + 4
    if length > 4093:
        raise ValueError('section too long')
    head = bytes([table_id, 0x80 | (0x40 if reserved_future else 0) | 0x30 | (length >> 8), length & 0xFF,
                  ext >> 8, ext & 0xFF, 0xC1 | ((version & 0x1F) << 1), number, last])
    sec = head + body
    crc = crc32_mpeg(sec)
    return sec + crc.to_bytes(4, 'big')


def pat(tsid, programs, version=0):
    body = b''.join(pn.to_bytes(2, 'big') + (0xE000 | pid).to_bytes(2, 'big') for pn, pid in programs)
    return section(0x00, tsid, version, 0, 0, body)


def pmt(program, pcr_pid, program_info, streams, version=0):
    """streams: (stream_type, pid, es_info bytes)."""
    body = (0xE000 | pcr_pid).to_bytes(2, 'big') + (0xF000 | len(program_info)).to_bytes(2, 'big')
    body += program_info
    for st, pid, info in streams:
        body += bytes([st]) + (0xE000 | pid).to_bytes(2, 'big') + (0xF000 | len(info)).to_bytes(2, 'big') + info
    return section(0x02, program, version, 0, 0, body)


def pes(stream_id, pts, payload, zero_length=False):
    """A PES packet with a PTS only."""
    p = pts & ((1 << 33) - 1)
    ptsb = bytes([0x21 | ((p >> 29) & 0x0E), (p >> 22) & 0xFF, 0x01 | ((p >> 14) & 0xFE),
                  (p >> 7) & 0xFF, 0x01 | ((p << 1) & 0xFE)])
    header = bytes([0x84, 0x80, len(ptsb)]) + ptsb  # data aligned, PTS only
    length = len(header) + len(payload)
    if length > 0xFFFF:
        if not zero_length:
            raise ValueError('PES too long')
    if zero_length:
        length = 0
    return b'\x00\x00\x01' + bytes([stream_id]) + length.to_bytes(2, 'big') + header + payload


class Packetizer:
    """Cuts PES packets and section runs into 188-byte packets of one PID with its counter."""

    def __init__(self, pid):
        self.pid = pid
        self.cc = 0

    def _packet(self, start, payload, adaptation=None):
        afc = 1
        body = payload
        if adaptation is not None:
            afc = 3 if payload else 2
        head = bytes([0x47, (0x40 if start else 0) | (self.pid >> 8), self.pid & 0xFF,
                      (afc << 4) | self.cc])
        if afc in (1, 3):
            self.cc = (self.cc + 1) & 0x0F
        if adaptation is not None:
            room = PACKET - 4 - len(body)
            af = adaptation
            if room - 1 < len(af):
                raise ValueError('adaptation field too long')
            stuff = room - 1 - len(af)
            if stuff > 0 and not af:
                af = bytes([0x00])
                stuff -= 1
            field = bytes([len(af) + stuff]) + af + b'\xFF' * stuff
            pkt = head + field + body
        else:
            pkt = head + body
        assert len(pkt) == PACKET, len(pkt)
        return pkt

    def pes_packets(self, data):
        """PES packet into packets; the last one is padded with adaptation-field stuffing."""
        out = []
        pos = 0
        first = True
        while pos < len(data):
            chunk = data[pos:pos + 184]
            pos += len(chunk)
            if len(chunk) == 184:
                out.append(self._packet(first, chunk))
            else:
                out.append(self._packet(first, chunk, adaptation=b''))
            first = False
        return out

    def section_packets(self, sections):
        """Sections back to back, a new one may start inside a packet (pointer field); 0xFF
        stuffing after the last."""
        stream = b''.join(sections)
        starts = []
        off = 0
        for s in sections:
            starts.append(off)
            off += len(s)
        out = []
        pos = 0
        while pos < len(stream):
            begin = [s for s in starts if pos <= s < pos + 183]
            if begin:
                ptr = begin[0] - pos
                room = 183
                chunk = stream[pos:pos + room]
                payload = bytes([ptr]) + chunk
                out.append(self._packet(True, payload + b'\xFF' * (184 - len(payload))))
                pos += len(chunk)
            else:
                # Never let a section begin in a packet without the start indicator.
                nxt = [s for s in starts if pos < s < pos + 184]
                end = nxt[0] if nxt else pos + 184
                chunk = stream[pos:end]
                out.append(self._packet(False, chunk + b'\xFF' * (184 - len(chunk))))
                pos += len(chunk)
        return out


def pcr_packet(pid, pcr27, discontinuity=False):
    """An adaptation-only packet carrying a PCR (no payload, the counter does not advance)."""
    base = pcr27 // 300
    ext = pcr27 % 300
    base &= (1 << 33) - 1
    af = bytes([0x10 | (0x80 if discontinuity else 0),
                (base >> 25) & 0xFF, (base >> 17) & 0xFF, (base >> 9) & 0xFF, (base >> 1) & 0xFF,
                ((base & 1) << 7) | 0x7E | (ext >> 8), ext & 0xFF])
    field = bytes([183]) + af + b'\xFF' * (183 - len(af))
    return bytes([0x47, pid >> 8, pid & 0xFF, 0x20]) + field


def null_packet():
    return bytes([0x47, 0x1F, 0xFF, 0x10]) + b'\xFF' * 184
