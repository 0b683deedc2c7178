#!/usr/bin/python3
"""Builds the test broadcasts under tests/fixtures: 1seg-shaped transport streams made from
synthetic pictures and tones encoded by ffmpeg, with a manifest and the elementary-stream split
of each. Deterministic: the same inputs give byte-identical files.

    /usr/bin/python3 tools/fixturegen/fixturegen.py [--out DIR] [--only NAME,...] [--no-sample]
"""

import argparse
import datetime
import json
import os
import random
import struct
import subprocess
import sys
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import arib  # noqa: E402
import media  # noqa: E402
import mux  # noqa: E402
import ts  # noqa: E402

PMT_PID = 0x1FC8
PCR_PID = 0x01FF
SDT_PID = 0x0011
EIT_PID = 0x0027
PIDS = {'video': 0x0181, 'audio': 0x0183, 'caption': 0x0187, 'data': 0x0188}
PIDS_MOVED = {'video': 0x0191, 'audio': 0x0193, 'caption': 0x0197, 'data': 0x0198}

CLOCK = 90000
FIRST_PCR = 1000000                  # 90 kHz units at the first packet
AV_DELAY = 45000                     # first video PTS is half a second after the first PCR
FRAME_TICKS = CLOCK // media.FPS     # 6000
AUDIO_TICKS = CLOCK * media.SAMPLES_PER_FRAME // media.SAMPLE_RATE  # 3840
AUDIO_FRAMES_PER_PES = 3
ENCODER_DELAY_FRAMES = 1             # the AAC encoder's priming frame
READY_LEAD = 63000                   # data may arrive 700 ms before its PTS ...
DEADLINE_LEAD = 4500                 # ... and must be in by 50 ms before it
BROADCAST_DAY = datetime.date(2026, 12, 10)

# Stations of area 7 ("東京") in the station table: UHF channel, channel index, name.
TOKYO = [(27, 14, 'ＮＨＫ総合'), (26, 13, 'ＮＨＫ教育'), (25, 12, '日本テレビ')]


def at(hms, day=BROADCAST_DAY):
    h, m, s = (int(x) for x in hms.split(':'))
    return datetime.datetime(day.year, day.month, day.day, h, m, s)


class Channel:
    def __init__(self, uhf, index, name, provider, service_id, tsid, style, tones, events,
                 captions):
        self.uhf = uhf
        self.index = index
        self.name = name
        self.provider = provider
        self.service_id = service_id
        self.tsid = tsid
        self.style = style
        self.tones = tones
        self.events = events
        self.captions = captions


def tokyo_channel(k, captions=None, style=None, tones=None):
    uhf, index, name = TOKYO[k]
    provider = ['ＮＨＫ', 'ＮＨＫ', '日本テレビ'][k]
    events = [
        [  # present event ends after midnight; the following one has no end yet
            {'event_id': 0x1201, 'start': at('23:30:00'), 'duration': 3600,
             'name': 'NHKニュース　ウオッチ９',
             'text': '今日のできごとを詳しく伝えます。国内と海外のニュース、スポーツと気象情報もあります。',
             'items': [('出演者', 'キャスター　山田太郎ほか'), ('番組内容', '全国のニュースをまとめて伝える')]},
            {'event_id': 0x1202, 'start': at('00:30:00', BROADCAST_DAY + datetime.timedelta(days=1)),
             'duration': None, 'name': '映像の世紀　バタフライエフェクト',
             'text': '２０世紀の記録映像で３ヵ月の出来事をたどる。人々の選択が思わぬ形でつながっていく。',
             'items': [('語り', '佐藤花子')]},
        ],
        [
            {'event_id': 0x2301, 'start': at('19:00:00'), 'duration': 2700,
             'name': 'きょうの料理　ビギナーズ',
             'text': 'やさしい和食の基本。だしのとり方から煮物まで、ゆっくり覚えましょう。材料は四人分。',
             'items': [('講師', '料理研究家　鈴木一郎'), ('材料', 'だいこん、にんじん、こんぶ')]},
            {'event_id': 0x2302, 'start': at('19:45:00'), 'duration': 900,
             'name': 'ミニ番組　ふるさとの歌',
             'text': '全国各地に伝わる歌を紹介します。今回は東北地方の民謡と、その歌が生まれた町を訪ねます。',
             'items': [('出演者', '合唱団ほか')]},
        ],
        [
            {'event_id': 0x3401, 'start': at('21:00:00'), 'duration': 3240,
             'name': '水曜ドラマ「東京の空」',
             'text': '第５話。主人公は新しい仕事に挑む。しかし思いがけない知らせが届き、家族の気持ちが揺れる。',
             'items': [('出演者', '高橋健　田中美咲ほか'), ('原作', '小説「東京の空」')]},
            {'event_id': 0x3402, 'start': at('21:54:00'), 'duration': None,
             'name': 'news　zero',
             'text': '最新ニュースを伝えます。経済、スポーツ、エンタメの話題をわかりやすく解説します。',
             'items': [('キャスター', '伊藤さくら')]},
        ],
    ][k]
    styles = [media.PictureStyle(base=60, box_u=90, box_v=200, speed=3),
              media.PictureStyle(base=80, box_u=200, box_v=90, speed=2),
              media.PictureStyle(base=50, box_u=60, box_v=60, speed=4)]
    tone_sets = [{'left': 440, 'right': 660}, {'left': 550, 'right': 825}, {'left': 330, 'right': 495}]
    return Channel(uhf, index, name, provider, 0x0588 + k * 0x10, 0x7FE0 - k * 0x10,
                   style or styles[k], tones or tone_sets[k], events,
                   captions if captions is not None else default_captions(k))


def default_captions(k):
    texts = [
        [(0.5, [('white', 'こんばんは。'), ('yellow', 'ニュースをお伝えします'), ('red', '大雨に注意')], 10)],
        [(0.5, [('green', 'きょうの料理です'), ('white', 'だしをとります')], 20)],
        [(0.5, [('cyan', '東京の空は'), ('white', 'きょうも青い')], 15)],
    ][k]
    return [{'at': t, 'lines': lines, 'time': tm, 'tmd': 0} for t, lines, tm in texts]


# ---- caption expectations, as a receiver shows them ----

def shown_text(text):
    """The line as displayed: trailing characters below U+0100 dropped, then full-width ASCII to
    half-width, U+FFFC to a space and U+3001 to U+FF64."""
    while text and ord(text[-1]) < 0x100:
        text = text[:-1]
    out = []
    for ch in text:
        c = ord(ch)
        if 0xFF01 <= c <= 0xFF5E:
            out.append(chr(c - 0xFEE0))
        elif c == 0xFFFC:
            out.append(' ')
        elif c == 0x3001:
            out.append('\uFF64')
        else:
            out.append(ch)
    return ''.join(out)


# ---- streams ----

class Program:
    """Encoded elementary streams of one channel."""

    def __init__(self, video_units, audio_frames, audio_info, pce_flags):
        self.video_units = video_units      # [(bytes, idr)]
        self.audio_frames = audio_frames    # [bytes], FF F8 with CRC
        self.audio_info = audio_info
        self.pce_flags = pce_flags


# A fixture lasts a whole number of loop units: 16 pictures (6000 ticks each) take exactly as
# long as 25 audio frames (3840 ticks each), so a player of the file in a loop can carry PTS and
# PCR on by one period for both streams.
LOOP_FRAMES = 16
LOOP_AUDIO_FRAMES = 25


def encode_program(ch, frames, audio_mode='stereo'):
    if frames % LOOP_FRAMES:
        raise ValueError('a fixture lasts a multiple of %d frames' % LOOP_FRAMES)
    seconds = frames / media.FPS
    audio_count = frames // LOOP_FRAMES * LOOP_AUDIO_FRAMES
    yuv = media.render_video(frames, ch.style)
    units = media.access_units(media.encode_h264(yuv))
    if len(units) != frames:
        raise RuntimeError('encoder returned %d access units for %d frames' % (len(units), frames))
    if audio_mode == 'stereo':
        pcm = media.pcm_s16le([media.tone(ch.tones['left'], seconds), media.tone(ch.tones['right'], seconds)])
        adts = media.adts_frames(media.encode_aac(pcm, 2, 48))
        audio = [media.build_adts(f, raw) for f, raw in adts]
        info = {'mode': 'stereo', 'channels': 2, 'tones_hz': dict(ch.tones)}
        pce = [False] * len(audio)
    elif audio_mode == 'beeps':
        period = media.SAMPLE_RATE * ch.style.flash_every // media.FPS
        length = media.SAMPLE_RATE // 10
        b = media.beeps(seconds, ch.tones['beep'], period, length)
        pcm = media.pcm_s16le([b, b])
        adts = media.adts_frames(media.encode_aac(pcm, 2, 48))
        audio = [media.build_adts(f, raw) for f, raw in adts]
        info = {'mode': 'stereo', 'channels': 2, 'beep_hz': ch.tones['beep'],
                'beep_ms': 100, 'beep_every_frames': ch.style.flash_every}
        pce = [False] * len(audio)
    elif audio_mode == 'dualmono':
        main = media.encode_aac(media.pcm_s16le([media.tone(ch.tones['main'], seconds)]), 1, 32)
        sub = media.encode_aac(media.pcm_s16le([media.tone(ch.tones['sub'], seconds)]), 1, 32)
        pce_every = 24
        audio = media.dual_mono_frames(main, sub, pce_every)
        info = {'mode': 'dual-mono', 'channels': 2, 'tones_hz': {'main': ch.tones['main'], 'sub': ch.tones['sub']},
                'pce_every_frames': pce_every}
        pce = [k % pce_every == 0 for k in range(len(audio))]
    else:
        raise ValueError(audio_mode)
    # The encoder's tail (the last samples and its flush) goes: the priming frame plus the
    # frames that follow it fill the period exactly.
    if len(audio) < audio_count:
        raise RuntimeError('encoder returned %d audio frames, %d needed' % (len(audio), audio_count))
    return Program(units, audio[:audio_count], info, pce[:audio_count])


def pmt_streams(pids, data_first=False):
    video = (0x1B, pids['video'], bytes([0x52, 1, 0x81]))
    audio = (0x0F, pids['audio'], bytes([0x52, 1, 0x83]))
    caption = (0x06, pids['caption'], bytes([0x52, 1, 0x87, 0xFD, 3, 0x00, 0x08, 0x3D]))
    data = (0x0D, pids['data'], bytes([0x52, 1, 0x8F, 0xFD, 2, 0x00, 0x0C]))  # 6 descriptor bytes
    return [data, video, audio, caption] if data_first else [video, audio, caption, data]


PROGRAM_INFO = bytes([0xC1, 2, 0x88, 0xFF])  # a copy control descriptor


WRAP = 1 << 33  # PTS and PCR base count modulo 2^33


def build_fixture(name, ch, frames, audio_mode='stereo', pmt_change_at=None, with_pmt=True,
                  description='', first_pcr=FIRST_PCR):
    # Times run unwrapped here; the stream, the manifest and the unit files get them modulo 2^33.
    prog = encode_program(ch, frames, audio_mode)
    seconds = frames / media.FPS
    end = (first_pcr + frames * FRAME_TICKS) * 300
    v0 = first_pcr + AV_DELAY
    items = []
    manifest_units_v = []
    manifest_units_a = []

    switch_pts = v0 + int(pmt_change_at * CLOCK) if pmt_change_at is not None else None
    # The map changes on air 300 ms before the first moved PTS: every packet of the old PIDs is
    # out before it, every packet of the new ones after it.
    switch_send = (switch_pts - 27000) * 300 if switch_pts is not None else None

    def pids_at(pts):
        return PIDS_MOVED if switch_pts is not None and pts >= switch_pts else PIDS

    def stream_item(pts, packets, kind, index):
        ready = (pts - READY_LEAD) * 300
        # Everything is on air before the file ends, also what plays after its end.
        deadline = min((pts - DEADLINE_LEAD) * 300, end - mux.TICKS_PER_PACKET)
        if switch_send is not None:
            if pts >= switch_pts:
                ready = max(ready, switch_send + 4 * mux.TICKS_PER_PACKET)
            else:
                deadline = min(deadline, switch_send)
        return mux.Item(ready, deadline, packets, kind, index)

    pk = {}

    def packetizer(pid):
        if pid not in pk:
            pk[pid] = ts.Packetizer(pid)
        return pk[pid]

    # Video: one access unit per PES.
    for n, (au, idr) in enumerate(prog.video_units):
        pts = v0 + n * FRAME_TICKS
        pid = pids_at(pts)['video']
        packets = packetizer(pid).pes_packets(ts.pes(0xE0, pts, au))
        items.append(stream_item(pts, packets, 'video', n))
        manifest_units_v.append({'pts': pts % WRAP, 'size': len(au), 'idr': idr, 'crc32': zlib.crc32(au),
                                 'frame': n, 'pid': pid})
    # Audio: several ADTS frames per PES; frame k is heard from (k - priming) frames on.
    apts = [v0 + (k - ENCODER_DELAY_FRAMES) * AUDIO_TICKS for k in range(len(prog.audio_frames))]
    for first in range(0, len(prog.audio_frames), AUDIO_FRAMES_PER_PES):
        group = prog.audio_frames[first:first + AUDIO_FRAMES_PER_PES]
        pts = apts[first]
        pid = pids_at(pts)['audio']
        packets = packetizer(pid).pes_packets(ts.pes(0xC0, pts, b''.join(group)))
        items.append(stream_item(pts, packets, 'audio', first))
        for j, fr in enumerate(group):
            manifest_units_a.append({'pts': apts[first + j] % WRAP, 'size': len(fr), 'crc32': zlib.crc32(fr),
                                     'pid': pid, 'pes_first': j == 0,
                                     'pce': prog.pce_flags[first + j]})
    # Captions: management now and then, statements at their times.
    cap_manifest = []
    version = 0
    mgmt_times = [0.2] + [t + 0.2 for t in range(2, int(seconds), 2)]
    cap_events = [('mgmt', t, None) for t in mgmt_times] + [('stmt', c['at'], c) for c in ch.captions]
    cap_events.sort(key=lambda e: e[1])
    for kind, t, c in cap_events:
        pts = v0 + int(round(t * media.FPS)) * FRAME_TICKS
        pid = pids_at(pts)['caption']
        if kind == 'mgmt':
            group = arib.data_group(0x00, 0, arib.caption_management())
        else:
            body = arib.statement_body(c['lines'], c['time'])
            group = arib.data_group(0x01, version, arib.caption_statement(body, c.get('tmd', 0), c.get('otm')))
            version = (version + 1) & 3
            lines = []
            for i, (colour, text) in enumerate(c['lines']):
                lines.append({'text': text, 'shown': shown_text(text),
                              'colour': arib.COLOUR_NUMBER[colour] if colour else 8,
                              'clear': 1 if i == 0 else 0, 'carriage_return': 2 if i else 1,
                              'time': c['time'] if (c['time'] is not None and i == len(c['lines']) - 1) else 0})
            cap_manifest.append({'pts': pts % WRAP, 'pid': pid, 'data_group_id': 1, 'tmd': c.get('tmd', 0),
                                 'statement_hex': body.hex(), 'lines': lines})
        data = arib.caption_pes_data(group)
        pes = ts.pes(0xBD, pts, data)
        packets = packetizer(pid).pes_packets(pes)
        if len(packets) != 1:
            raise RuntimeError('caption PES must fit one packet')
        items.append(stream_item(pts, packets, 'caption', len(cap_manifest)))

    # Tables: PAT and PMT every 100 ms, SDT and EIT once a second (EIT half a second later).
    pat_sec = ts.pat(ch.tsid, [(0, 0x0010), (ch.service_id, PMT_PID)])
    pmt_versions = []
    pmt_secs = [ts.pmt(ch.service_id, PCR_PID, PROGRAM_INFO, pmt_streams(PIDS), 0)]
    pmt_versions.append({'version': 0, 'from_pts': None, 'streams': [
        {'type': st, 'pid': pid, 'es_info_hex': info.hex()} for st, pid, info in pmt_streams(PIDS)]})
    if pmt_change_at is not None:
        pmt_secs.append(ts.pmt(ch.service_id, PCR_PID, PROGRAM_INFO, pmt_streams(PIDS_MOVED, True), 1))
        pmt_versions.append({'version': 1, 'from_pts': (v0 + int(pmt_change_at * CLOCK)) % WRAP, 'streams': [
            {'type': st, 'pid': pid, 'es_info_hex': info.hex()} for st, pid, info in pmt_streams(PIDS_MOVED, True)]})
    # The receiver's service first, then the other services of the multiplex, so the table
    # spans two packets.
    services = [(ch.service_id, 0xC0, ch.provider, ch.name, True),
                (ch.service_id + 1, 0xC0, ch.provider, ch.name + 'データ', False),
                (ch.service_id - 0x188, 0x01, ch.provider, ch.name + '１・東京', True),
                (ch.service_id - 0x187, 0x01, ch.provider, ch.name + '２・東京', True),
                (ch.service_id - 0x186, 0x01, ch.provider, ch.name + '３・東京', True)]
    sdt_sec = arib.sdt(ch.tsid, ch.tsid, services)
    eit_secs = [arib.eit_pf(ch.service_id, ch.tsid, ch.tsid, i, ev) for i, ev in enumerate(ch.events)]
    t = first_pcr * 300
    step = CLOCK * 300 // 10
    k = 0
    while t < end:
        items.append(mux.Item(t, t + step, packetizer(0).section_packets([pat_sec]), 'pat'))
        if with_pmt:
            change = switch_send is not None and t >= switch_send
            sec = pmt_secs[1] if change else pmt_secs[0]
            items.append(mux.Item(t, t + step, packetizer(PMT_PID).section_packets([sec]), 'pmt', 1 if change else 0))
        if k % 10 == 0:
            items.append(mux.Item(t, t + step * 5, packetizer(SDT_PID).section_packets([sdt_sec]), 'sdt'))
        if k % 10 == 5:
            items.append(mux.Item(t, t + step * 5, packetizer(EIT_PID).section_packets(eit_secs), 'eit'))
        t += step
        k += 1
    if switch_send is not None and with_pmt:
        items.append(mux.Item(switch_send, switch_send + 3 * mux.TICKS_PER_PACKET, packetizer(PMT_PID).section_packets([pmt_secs[1]]), 'pmt', 1))
    packets, tags = mux.multiplex(items, PCR_PID, first_pcr * 300, end)
    data = b''.join(packets)

    manifest = {
        'name': name,
        'description': description,
        'loop': {'packets': len(packets), 'pts_period': frames * FRAME_TICKS,
                 'pcr_period_27mhz': len(packets) * mux.TICKS_PER_PACKET},
        'ts': {'file': 'stream.ts', 'packets': len(packets), 'bytes': len(data), 'bitrate': mux.BITRATE,
               'first_pcr_27mhz': first_pcr * 300 % (WRAP * 300), 'pcr_every_packets': mux.PCR_EVERY,
               'crc32': zlib.crc32(data)},
        'pids': {'pat': 0, 'pmt': PMT_PID if with_pmt else None, 'pcr': PCR_PID, 'sdt': SDT_PID,
                 'eit': EIT_PID, 'video': PIDS['video'], 'audio': PIDS['audio'],
                 'caption': PIDS['caption'], 'data': PIDS['data']},
        'pmt_versions': pmt_versions if with_pmt else [],
        'station': {'area': 7, 'area_name': '東京', 'uhf': ch.uhf, 'channel_index': ch.index},
        'service': {'service_id': ch.service_id, 'transport_stream_id': ch.tsid,
                    'original_network_id': ch.tsid, 'name': ch.name, 'provider': ch.provider,
                    'service_type': 0xC0, 'name_hex': arib.encode_8bit(ch.name).hex(),
                    'second_service': {'service_id': ch.service_id + 1, 'name': ch.name + 'データ'}},
        'events': [{'section': i, 'event_id': ev['event_id'],
                    'start_date': ev['start'].date().isoformat(),
                    'start': ev['start'].strftime('%H:%M:%S'),
                    'duration': None if ev['duration'] is None else '%02d:%02d:%02d' % (
                        ev['duration'] // 3600, ev['duration'] // 60 % 60, ev['duration'] % 60),
                    'end': None if ev['duration'] is None else (
                        ev['start'] + datetime.timedelta(seconds=ev['duration'])).strftime('%H:%M:%S'),
                    'name': ev['name'], 'text': ev['text'],
                    'name_hex': arib.encode_8bit(ev['name']).hex(),
                    'text_hex': arib.encode_8bit(ev['text']).hex()}
                   for i, ev in enumerate(ch.events)],
        'captions': cap_manifest,
        'video': {'codec': 'h264', 'profile': 'baseline', 'width': media.WIDTH, 'height': media.HEIGHT,
                  'fps': media.FPS, 'frames': len(prog.video_units), 'gop_frames': media.FPS,
                  'flash_every_frames': ch.style.flash_every, 'units_file': 'video.units',
                  'units': manifest_units_v},
        'audio': dict(prog.audio_info, codec='aac-lc', sample_rate=media.SAMPLE_RATE,
                      samples_per_frame=media.SAMPLES_PER_FRAME, frames_per_pes=AUDIO_FRAMES_PER_PES,
                      encoder_delay_samples=ENCODER_DELAY_FRAMES * media.SAMPLES_PER_FRAME,
                      units_file='audio.units', frames=len(prog.audio_frames), units=manifest_units_a),
    }
    return manifest, packets, tags, prog, [a % WRAP for a in apts]


def write_units(path, records):
    with open(path, 'wb') as f:
        for pts, data in records:
            f.write(struct.pack('<Iq', len(data), pts))
            f.write(data)


def damage(packets, tags, manifest, seed):
    """Drops packets (scattered and one burst) and flips payload bits, all on the audio, video,
    PCR and null packets: the tables and captions stay whole, so texts still compare. Marks the
    units hit."""
    rng = random.Random(seed)
    n = len(packets)
    media_kinds = ('video', 'audio', 'pcr', 'null')
    hittable = [i for i in range(n) if tags[i][0] in media_kinds]
    drop = set(i for i in hittable if rng.random() < 0.01)
    burst = n // 2
    while any(tags[i][0] not in media_kinds for i in range(burst, burst + 12)):
        burst += 1
    drop.update(range(burst, burst + 12))
    out = []
    flips = []
    hit = {'video': set(), 'audio': set(), 'caption': set()}
    orig = []
    for i, p in enumerate(packets):
        if i in drop:
            kind, idx = tags[i]
            if kind in hit:
                hit[kind].add(idx)
            continue
        orig.append(i)
        out.append(bytearray(p))
    kept = [j for j, i in enumerate(orig) if tags[i][0] in media_kinds]
    for _ in range(40):
        j = kept[rng.randrange(len(kept))]
        byte = rng.randrange(4, 188)
        bit = rng.randrange(8)
        out[j][byte] ^= 1 << bit
        flips.append([j, byte, bit])
        kind, idx = tags[orig[j]]
        if kind in hit:
            hit[kind].add(idx)
    for u in manifest['video']['units']:
        u['intact'] = u['frame'] not in hit['video']
    # Audio items are indexed by their first frame.
    for k, u in enumerate(manifest['audio']['units']):
        first = k - k % AUDIO_FRAMES_PER_PES
        u['intact'] = first not in hit['audio']
    manifest['damage'] = {'seed': seed, 'dropped_packets': sorted(drop), 'burst': [burst, burst + 12],
                          'flipped_bits': flips,
                          'note': 'dropped_packets index the undamaged stream; flipped_bits index '
                                  'the damaged file: [packet, byte, bit]'}
    return [bytes(p) for p in out]


def emit(outdir, name, manifest, packets, prog, apts, with_units=True):
    d = os.path.join(outdir, name)
    os.makedirs(d, exist_ok=True)
    data = b''.join(packets)
    manifest['ts']['packets'] = len(packets)
    manifest['ts']['bytes'] = len(data)
    manifest['ts']['crc32'] = zlib.crc32(data)
    with open(os.path.join(d, 'stream.ts'), 'wb') as f:
        f.write(data)
    if with_units:
        write_units(os.path.join(d, 'video.units'),
                    [(u['pts'], au) for u, (au, _) in zip(manifest['video']['units'], prog.video_units)])
        write_units(os.path.join(d, 'audio.units'), list(zip(apts, prog.audio_frames)))
    else:
        manifest['video']['units_file'] = None
        manifest['audio']['units_file'] = None
    with open(os.path.join(d, 'manifest.json'), 'w', encoding='utf-8') as f:
        json.dump(manifest, f, ensure_ascii=False, indent=1, sort_keys=True)
        f.write('\n')


def fixtures():
    """name -> function building (manifest, packets, tags, prog, apts, with_units)."""
    frames = 64  # 4.27 s

    def basic():
        caps = [
            {'at': 0.5, 'lines': [('white', 'こんばんは。'), ('yellow', 'ニュースをお伝えします'),
                                  ('red', '大雨に注意してください')], 'time': 10, 'tmd': 0},
            {'at': 1.5, 'lines': [(None, 'ＮＨＫニュース７'), ('cyan', '天気は晴れ　ｐｍ')], 'time': 5,
             'tmd': 2, 'otm': (0, 0, 1, 500)},
            {'at': 2.5, 'lines': [('green', '気温は１５度ABC')], 'time': None, 'tmd': 0},
        ]
        ch = tokyo_channel(0, captions=caps)
        return build_fixture('basic', ch, frames, description=(
            'Tokyo UHF 27, "ＮＨＫ総合": stereo tones, three caption screens, service name and '
            'present/following events.')) + (True,)

    def avsync():
        ch = tokyo_channel(0, style=media.PictureStyle(base=60, flash_every=media.FPS),
                           tones={'beep': 1000})
        return build_fixture('avsync', ch, frames, audio_mode='beeps', description=(
            'Once a second a white frame and a 100 ms 1 kHz beep with the same PTS.')) + (True,)

    def dualmono():
        ch = tokyo_channel(1, tones={'main': 440, 'sub': 1000})
        return build_fixture('dualmono', ch, frames, audio_mode='dualmono', description=(
            'Dual mono: channel configuration 0, a program configuration element with two front '
            'single channel elements every 24 frames, main 440 Hz (tag 0), sub 1000 Hz (tag 1).')) + (True,)

    def damaged():
        ch = tokyo_channel(0)
        m, p, t, prog, apts = build_fixture('damaged', ch, frames, description=(
            'The stream of channel UHF 27 with 1 % of packets lost, a burst of 12 lost packets '
            'half-way and 40 flipped payload bits.'))
        p = damage(p, t, m, seed=3)
        return m, p, t, prog, apts, True

    def pmtchange():
        ch = tokyo_channel(0)
        return build_fixture('pmtchange', ch, frames, pmt_change_at=2.0, description=(
            'The programme map changes at 2 s (version 1): video, audio and captions move to '
            '0x0191, 0x0193, 0x0197 and a 0x0D entry with 6 descriptor bytes comes first.')) + (True,)

    def nopmt():
        ch = tokyo_channel(0)
        return build_fixture('nopmt', ch, 32, with_pmt=False, description=(
            'PAT, SDT, EIT and the streams, but no programme map on 0x1FC8.')) + (True,)

    def ptswrap():
        ch = tokyo_channel(0)
        # PCR and PTS pass 2^33 about 1.5 s in.
        return build_fixture('ptswrap', ch, frames, first_pcr=WRAP - 135000, description=(
            'The programme of channel UHF 27 with PCR and PTS wrapping past 2^33 about 1.5 s in.')) + (True,)

    def channel2():
        return build_fixture('channel2', tokyo_channel(1), frames, description=(
            'Tokyo UHF 26, "ＮＨＫ教育".')) + (True,)

    def channel3():
        return build_fixture('channel3', tokyo_channel(2), frames, description=(
            'Tokyo UHF 25, "日本テレビ".')) + (True,)

    return {'basic': basic, 'avsync': avsync, 'dualmono': dualmono, 'damaged': damaged,
            'pmtchange': pmtchange, 'nopmt': nopmt, 'ptswrap': ptswrap, 'channel2': channel2, 'channel3': channel3}


SAMPLE_FRAMES = 896  # 59.7 s


def build_sample(outdir):
    channels = []
    for k in range(3):
        ch = tokyo_channel(k)
        # Captions every ten seconds so a viewer sees them change.
        ch.captions = [{'at': t + 0.5, 'lines': c['lines'], 'time': c['time'], 'tmd': 0}
                       for t in range(0, SAMPLE_FRAMES // media.FPS, 10) for c in default_captions(k)]
        name = 'sample/ch%d' % ch.uhf
        m, p, t, prog, apts = build_fixture(name, ch, SAMPLE_FRAMES, description=(
            'One minute of %s (UHF %d) for the run command and the benchmarks.' % (ch.name, ch.uhf)))
        emit(outdir, name, m, p, prog, apts, with_units=False)
        channels.append({'uhf': ch.uhf, 'channel_index': ch.index, 'name': ch.name,
                         'folder': 'ch%d' % ch.uhf, 'file': 'ch%d/stream.ts' % ch.uhf})
    with open(os.path.join(outdir, 'sample', 'channels.json'), 'w', encoding='utf-8') as f:
        json.dump({'area': 7, 'area_name': '東京', 'channels': channels}, f, ensure_ascii=False, indent=1)
        f.write('\n')


def ffmpeg_version():
    out = subprocess.run(['ffmpeg', '-version'], stdout=subprocess.PIPE, text=True).stdout
    return out.splitlines()[0] if out else ''


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument('--out', default=os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                  '..', '..', 'tests', 'fixtures'))
    ap.add_argument('--only', default='')
    ap.add_argument('--no-sample', action='store_true')
    args = ap.parse_args()
    only = set(x for x in args.only.split(',') if x)
    os.makedirs(args.out, exist_ok=True)
    if not only:
        # Which encoder made the files: another build may code the same input differently.
        with open(os.path.join(args.out, 'generator.json'), 'w', encoding='utf-8') as f:
            json.dump({'ffmpeg': ffmpeg_version()}, f, indent=1)
            f.write('\n')
    for name, fn in fixtures().items():
        if only and name not in only:
            continue
        m, p, t, prog, apts, units = fn()
        emit(args.out, name, m, p, prog, apts, units)
        print('%-10s %7d bytes' % (name, len(p) * 188))
    if not args.no_sample and (not only or 'sample' in only):
        build_sample(args.out)
        print('sample     written')


if __name__ == '__main__':
    main()
