"""Constant-rate multiplexer: lays PES packets and tables out in time at a fixed bitrate, with a
PCR packet every eighth slot and null packets where nothing is due."""

import ts

BITRATE = 282000                       # 1504 bits per packet -> exactly 144000 ticks of 27 MHz
TICKS_PER_PACKET = 188 * 8 * 27000000 // BITRATE
PCR_EVERY = 12                         # slots; 64 ms


class Item:
    """Packets of one PES or table run: sent from ready on, due by deadline (27 MHz ticks)."""

    def __init__(self, ready, deadline, packets, kind, index=None):
        self.ready = ready
        self.deadline = deadline
        self.packets = packets
        self.kind = kind
        self.index = index
        self.sent = 0
        self.late = False


def multiplex(items, pcr_pid, first_pcr, end_time):
    """Exactly (end_time - first_pcr) / TICKS_PER_PACKET packets, everything on air by then.
    Returns (packets, tags): tags[i] = (kind, index) of the item packet i belongs to ('pcr',
    'null' otherwise)."""
    if (end_time - first_pcr) % TICKS_PER_PACKET:
        raise ValueError('the stream does not end on a packet')
    slots = (end_time - first_pcr) // TICKS_PER_PACKET
    pending = sorted(items, key=lambda it: (it.ready, it.deadline))
    active = []
    out = []
    tags = []
    slot = 0
    late = []
    cc = {}
    while slot < slots:
        t = first_pcr + slot * TICKS_PER_PACKET
        while pending and pending[0].ready <= t:
            active.append(pending.pop(0))
        if slot % PCR_EVERY == 0:
            out.append(ts.pcr_packet(pcr_pid, t))
            tags.append(('pcr', None))
        elif active:
            best = min(active, key=lambda it: it.deadline)
            if t > best.deadline and not best.late:
                best.late = True
                late.append((best.kind, best.index))
            pkt = bytearray(best.packets[best.sent])
            pid = ((pkt[1] & 0x1F) << 8) | pkt[2]
            if pkt[3] & 0x10:  # continuity counters follow the order of sending
                pkt[3] = (pkt[3] & 0xF0) | cc.get(pid, 0)
                cc[pid] = (cc.get(pid, 0) + 1) & 0x0F
            out.append(bytes(pkt))
            tags.append((best.kind, best.index))
            best.sent += 1
            if best.sent == len(best.packets):
                active.remove(best)
        else:
            out.append(ts.null_packet())
            tags.append(('null', None))
        slot += 1
    if pending or active:
        raise RuntimeError('bitrate too low: %d items not on air by the end' % (len(pending) + len(active)))
    if late:
        raise RuntimeError('bitrate too low: %d items late, first %r' % (len(late), late[0]))
    return out, tags
