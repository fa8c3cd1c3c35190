#!/usr/bin/python3
"""Analysis side of the Wine audio tests of the engine (tests/wine/*.sh).

Recordings are what parec writes: raw signed 16-bit little-endian at 48000 Hz,
interleaved stereo unless --channels says otherwise; a 48 kHz WAVE file is
accepted wherever a recording is. References are WAVE files (16-bit PCM or
32-bit float, e.g. zalo-render's output). Every subcommand prints what it
measured and exits 0 on success, 1 with a line starting "FAIL:" when the
check does not hold, 2 on unusable input.

  audio_checks.py SUBCOMMAND --help   describes each one.

Levels are linear with full scale 1.0; times in seconds unless named _ms.
"""
import argparse
import os
import select
import struct
import subprocess
import sys
import time

import numpy as np

RATE = 48000


class CheckFailed(Exception):
    pass


class BadInput(Exception):
    pass


# ---------------------------------------------------------------- reading

def read_raw(path, channels=2):
    """Mono float samples of a raw s16le recording (or of a 48 kHz WAVE
    file, recognised by its header).

    The engine writes the same sample to both channels of the cable; a
    recording whose channels differ did not come from it unchanged."""
    with open(path, 'rb') as f:
        if f.read(4) == b'RIFF':
            x, rate = read_wav(path)
            if rate != RATE:
                raise BadInput(f'{path}: {rate} Hz, want {RATE}')
            return x
    frame = 2 * channels
    with open(path, 'rb') as f:
        data = f.read()
    n = len(data) // frame
    if n == 0:
        raise BadInput(f'{path}: no audio recorded')
    x = np.frombuffer(data[:n * frame], '<i2').astype(np.float64) / 32768.0
    x = x.reshape(n, channels)
    if channels == 2:
        diff = np.max(np.abs(x[:, 0] - x[:, 1]))
        if diff > 1.5 / 32768:
            raise CheckFailed(f'{path}: left and right differ by up to {diff:.5f}; '
                              'the output should be the same mono signal on both')
    return x[:, 0].copy()


def read_wav(path):
    """(samples as float64 full scale 1.0, mono; sample rate) of a WAVE file."""
    with open(path, 'rb') as f:
        blob = f.read()
    if len(blob) < 12 or blob[:4] != b'RIFF' or blob[8:12] != b'WAVE':
        raise BadInput(f'{path}: not a RIFF/WAVE file')
    pos, fmt, data = 12, None, None
    while pos + 8 <= len(blob):
        cid, size = blob[pos:pos + 4], struct.unpack('<I', blob[pos + 4:pos + 8])[0]
        body = blob[pos + 8:pos + 8 + size]
        if cid == b'fmt ':
            fmt = body
        elif cid == b'data':
            data = body
        pos += 8 + size + (size & 1)
    if fmt is None or data is None or len(fmt) < 16:
        raise BadInput(f'{path}: no fmt or data chunk')
    tag, channels, rate, _, align, bits = struct.unpack('<HHIIHH', fmt[:16])
    if tag == 0xFFFE and len(fmt) >= 26:
        tag = struct.unpack('<H', fmt[24:26])[0]  # first two bytes of SubFormat
    if channels < 1 or align != channels * bits // 8:
        raise BadInput(f'{path}: inconsistent format ({channels} ch, align {align}, {bits} bit)')
    n = len(data) // align
    if tag == 1 and bits == 16:
        x = np.frombuffer(data[:n * align], '<i2').astype(np.float64) / 32768.0
    elif tag == 3 and bits == 32:
        x = np.frombuffer(data[:n * align], '<f4').astype(np.float64)
    else:
        raise BadInput(f'{path}: unsupported format tag {tag}, {bits} bit')
    return x.reshape(n, channels).mean(axis=1), rate


# --------------------------------------------------------------- measures

def rms(x):
    return float(np.sqrt(np.mean(np.square(x)))) if len(x) else 0.0


def xcorr_lag(rec, ref):
    """Lag L (samples) at which ref best matches rec[L:L+len(ref)], L >= 0."""
    if len(ref) > len(rec):
        raise CheckFailed(f'the recording ({len(rec)} samples) is shorter than the '
                          f'reference ({len(ref)})')
    n = 1 << int(np.ceil(np.log2(len(rec) + len(ref))))
    c = np.fft.irfft(np.fft.rfft(rec, n) * np.conj(np.fft.rfft(ref, n)), n)
    valid = c[:len(rec) - len(ref) + 1]
    return int(np.argmax(valid))


def goertzel_power(x, hz):
    """Mean power of x's component at hz (a sine of amplitude A gives A^2/2)."""
    w = 2 * np.pi * hz / RATE
    z = np.exp(-1j * w * np.arange(len(x)))
    return 2.0 * abs(np.dot(x, z)) ** 2 / (len(x) ** 2)


def tone_share(x, hz, halfwidth=25.0):
    """Share of x's power within halfwidth of hz (Hann-windowed spectrum):
    near 1 for a clean sine, lower for distortion, noise or splices."""
    mag = np.abs(np.fft.rfft(x * np.hanning(len(x)))) ** 2
    freqs = np.fft.rfftfreq(len(x), 1.0 / RATE)
    total = mag[freqs > 20].sum()
    near = mag[np.abs(freqs - hz) <= halfwidth].sum()
    return float(near / total) if total > 0 else 0.0


def dominant_frequency(x):
    """Frequency of the strongest sine in x, to a small fraction of a hertz.

    Coarse peak of a zero-padded windowed spectrum, then the phase advance of
    that component between the two halves of the signal."""
    x = np.asarray(x, dtype=np.float64)
    win = np.hanning(len(x))
    n = 1 << int(np.ceil(np.log2(len(x) * 4)))
    mag = np.abs(np.fft.rfft(x * win, n))
    mag[:int(20 * n / RATE)] = 0  # ignore DC and rumble
    coarse = np.argmax(mag) * RATE / n
    half = len(x) // 2
    t = np.arange(half)
    h = np.hanning(half)
    p1 = np.dot(x[:half] * h, np.exp(-2j * np.pi * coarse * t / RATE))
    p2 = np.dot(x[half:2 * half] * h, np.exp(-2j * np.pi * coarse * t / RATE))
    dphi = np.angle(p2 / p1)  # extra phase over `half` samples
    return coarse + dphi * RATE / (2 * np.pi * half)


def sounding_span(x, threshold, win=480):
    """(first, last) 10 ms window index whose RMS exceeds threshold, or None."""
    nwin = len(x) // win
    if nwin == 0:
        return None
    levels = np.sqrt(np.mean(np.square(x[:nwin * win].reshape(nwin, win)), axis=1))
    loud = np.nonzero(levels > threshold)[0]
    if len(loud) == 0:
        return None
    return int(loud[0]), int(loud[-1])


def log_spectrogram(x, frame=1024, hop=256, lo_hz=100.0, hi_hz=5000.0):
    """(log10 power per frame and bin in the voice band, frame log-energy)."""
    nfr = 1 + (len(x) - frame) // hop
    if nfr < 1:
        raise BadInput('signal shorter than one analysis frame')
    idx = np.arange(frame)[None, :] + hop * np.arange(nfr)[:, None]
    mag = np.abs(np.fft.rfft(x[idx] * np.hanning(frame), axis=1)) ** 2
    freqs = np.fft.rfftfreq(frame, 1.0 / RATE)
    band = (freqs >= lo_hz) & (freqs <= hi_hz)
    power = mag[:, band]
    energy = power.sum(axis=1)
    floor = max(power.max(), 1e-20) * 1e-7  # 70 dB below the loudest bin
    return np.log10(power + floor), np.log10(energy + floor)


def spectral_similarity(rec, ref, hop=256, step=32):
    """Mean per-frame correlation of the voice-band log spectra of rec and ref.

    ref is first placed in rec by cross-correlating the frame energy
    envelopes (resolution one hop), then the score is taken at lags `step`
    samples apart within a hop either side, and the best one counts. Only
    frames where ref carries speech (within 30 dB of its loudest frame)
    count. Returns (score, lag in samples)."""
    s_ref, e_ref = log_spectrogram(ref, hop=hop)
    _, e_rec = log_spectrogram(rec, hop=hop)
    if len(e_rec) < len(e_ref):
        raise CheckFailed('the recording is shorter than the reference')
    a = e_ref - e_ref.mean()
    b = e_rec - e_rec.mean()
    lags = len(e_rec) - len(e_ref) + 1
    env = np.array([np.dot(a, b[k:k + len(a)]) for k in range(lags)])
    speech = e_ref > e_ref.max() - 3.0
    r = s_ref[speech]
    r = r - r.mean(axis=1, keepdims=True)
    best = (-2.0, 0)
    center = int(np.argmax(env)) * hop
    for lag in range(max(0, center - hop), min(len(rec) - len(ref), center + hop) + 1, step):
        s_rec, _ = log_spectrogram(rec[lag:lag + len(ref)], hop=hop)
        q = s_rec[speech]
        q = q - q.mean(axis=1, keepdims=True)
        num = np.sum(r * q, axis=1)
        den = np.sqrt(np.sum(r * r, axis=1) * np.sum(q * q, axis=1)) + 1e-12
        best = max(best, (float(np.mean(num / den)), lag))
    return best


def fit_tones(x, freqs, win=480):
    """Least-squares fit of the given sines to consecutive windows of x.

    Returns (complex amplitude of each tone per window, phase referred to the
    start of x; RMS of what the fit leaves over per window). A continuous
    tone keeps a constant phase from window to window; a lost, repeated or
    muted piece of signal shows as a phase step or as a residual burst."""
    nwin = len(x) // win
    seg = x[:nwin * win].reshape(nwin, win)
    t = np.arange(win) / RATE
    cols = []
    for f in freqs:
        cols += [np.cos(2 * np.pi * f * t), np.sin(2 * np.pi * f * t)]
    basis = np.array(cols).T                     # win x 2k
    coef = seg @ np.linalg.pinv(basis).T         # nwin x 2k
    resid = seg - coef @ basis.T
    starts = np.arange(nwin) * win / RATE
    phasors = []
    for i, f in enumerate(freqs):
        # a cos(wt) + b sin(wt) = Re((a - jb) e^{jwt})
        z = coef[:, 2 * i] - 1j * coef[:, 2 * i + 1]
        phasors.append(z * np.exp(-2j * np.pi * f * starts))
    return np.array(phasors), np.sqrt(np.mean(resid ** 2, axis=1))


# ------------------------------------------------------------ subcommands

def cmd_exact(args):
    """The cable carries the reference sample for sample (filter off)."""
    rec = read_raw(args.recording, args.channels)
    ref, rate = read_wav(args.reference)
    if rate != RATE:
        raise BadInput(f'{args.reference}: {rate} Hz, want {RATE}')
    lag = xcorr_lag(rec, ref)
    seg = rec[lag:lag + len(ref)]
    diff = np.abs(seg - ref) * 32768.0
    worst = float(diff.max())
    over = int(np.count_nonzero(diff > args.tolerance_lsb))
    snr = 20 * np.log10(rms(ref) / max(rms(seg - ref), 1e-12))
    print(f'exact: reference found at {lag / RATE:.4f} s; {len(ref)} samples; '
          f'max difference {worst:.2f} LSB; {over} samples above {args.tolerance_lsb} LSB; '
          f'SNR {snr:.1f} dB')
    if rms(ref) < 1e-3:
        raise BadInput('the reference is (nearly) silent')
    if over:
        # Where it departs, in 10 ms windows: a dropout shows as a run of bad
        # windows after which the rest no longer lines up.
        nwin = len(diff) // 480
        bad = np.nonzero(diff[:nwin * 480].reshape(nwin, 480).max(axis=1) > args.tolerance_lsb)[0]
        runs, start = [], None
        for i, w in enumerate(bad):
            if start is None:
                start = w
            if i + 1 == len(bad) or bad[i + 1] != w + 1:
                runs.append(f'{start * 0.01:.2f}-{(w + 1) * 0.01:.2f} s')
                start = None
        # Where each half second of the reference lies in the recording: a
        # step in this offset is audio lost or inserted (a dropout), not a
        # processing difference.
        chunk = RATE // 2
        offsets = []
        for c in range(0, len(ref) - chunk + 1, chunk):
            piece = ref[c:c + chunk]
            if rms(piece) > 0.03:  # speech; noise alone cannot be placed
                offsets.append(f'{c / RATE:.1f} s: {xcorr_lag(rec, piece) - c - lag:+d}')
        raise CheckFailed(f'{over} samples differ by more than {args.tolerance_lsb} LSB '
                          f'(max {worst:.1f} LSB), in {len(bad)} of {nwin} 10 ms windows, '
                          f'at {", ".join(runs[:8])}{" ..." if len(runs) > 8 else ""} '
                          'into the reference. Offset of each half second against the '
                          f'whole, in samples: {"; ".join(offsets)}')


def cmd_similar(args):
    """The recording resembles the positive reference, and clearly less the negatives."""
    rec = read_raw(args.recording, args.channels)
    pos, rate = read_wav(args.positive)
    if rate != RATE:
        raise BadInput(f'{args.positive}: {rate} Hz, want {RATE}')
    if rms(rec) < 1e-3:
        raise CheckFailed('the recording is silent')
    score, lag = spectral_similarity(rec, pos)
    print(f'similar: {os.path.basename(args.positive)} scores {score:.3f} '
          f'(at {lag / RATE:.3f} s)')
    worst_neg = -1.0
    for neg_path in args.negative:
        neg, _ = read_wav(neg_path)
        s, l = spectral_similarity(rec, neg)
        print(f'similar: negative control {os.path.basename(neg_path)} scores {s:.3f} '
              f'(at {l / RATE:.3f} s)')
        worst_neg = max(worst_neg, s)
    if score < args.min_score:
        raise CheckFailed(f'score {score:.3f} below {args.min_score}')
    if args.negative and score - worst_neg < args.margin:
        raise CheckFailed(f'score {score:.3f} is not {args.margin} above the best '
                          f'negative control ({worst_neg:.3f})')


def cmd_dropouts(args):
    """Counts gaps in a recording of steady tones."""
    x = read_raw(args.recording, args.channels)
    freqs = args.tones
    win = 480
    ph, resid = fit_tones(x, freqs, win)
    amp = np.abs(ph)
    nominal = args.amplitude
    # The tones' span: windows where every tone is at least half its level.
    idx = np.nonzero(np.all(amp > 0.5 * nominal, axis=0))[0]
    if len(idx) == 0:
        raise CheckFailed('the tones never reached the recording')
    # The windows at either edge are partly silent; leave them out.
    first, last = int(idx[0]) + 2, int(idx[-1]) - 2
    span_s = (last - first + 1) * win / RATE
    if span_s < args.min_seconds:
        raise CheckFailed(f'the tones last {span_s:.1f} s in the recording, want at '
                          f'least {args.min_seconds} s (a stall, or the capture ended early)')
    a = amp[:, first:last + 1]
    p = ph[:, first:last + 1]
    r = resid[first:last + 1]
    # Level: a window where any tone is off its nominal level by 20 %.
    low = np.any(np.abs(a - nominal) > 0.2 * nominal, axis=0)
    # Phase: window-to-window phase change of each tone, less its typical
    # value (a constant clock offset between the sinks); a lost or inserted
    # piece of signal shifts the phase at once.
    dphi = np.angle(p[:, 1:] * np.conj(p[:, :-1]))
    trend = np.median(dphi, axis=1, keepdims=True)
    jump_rad = np.abs(np.angle(np.exp(1j * (dphi - trend))))
    jump = np.zeros(a.shape[1], bool)
    jump[1:] = np.any(jump_rad > args.max_phase_jump, axis=0)
    # Residual: anything in a window that is not the tones (a short mute,
    # a click, a splice inside the window).
    noisy = r > args.max_residual * nominal
    bad = low | jump | noisy
    # One event per run of consecutive bad windows. A run that keeps the
    # level and across which every tone moves by the same time, of half a
    # sample to --max-slip samples, is a slip of the sound server's clocks (the test
    # harness resynchronising a stream by a sample or two), not lost or
    # inserted signal: a program drops or pads whole blocks, far more.
    events = slips = 0
    w = 0
    n = len(bad)
    while w < n:
        if not bad[w]:
            w += 1
            continue
        b0 = w
        while w < n and bad[w]:
            w += 1
        b1 = w - 1
        slip = False
        if b0 > 0 and b1 + 1 < n and not low[b0:b1 + 1].any():
            steps = b1 + 2 - b0
            d = np.angle(p[:, b1 + 1] * np.conj(p[:, b0 - 1]) * np.exp(-1j * trend[:, 0] * steps))
            shift = d / (2 * np.pi * np.asarray(freqs)) * RATE
            # A mute or a click inside a window moves nothing: only a real
            # shift of at least half a sample counts as a slip.
            slip = bool(np.all(np.abs(shift) <= args.max_slip) and np.ptp(shift) < 0.5
                        and np.min(np.abs(shift)) >= 0.5)
        if slip:
            slips += 1
            bad[b0:b1 + 1] = False
        else:
            events += 1
    print(f'dropouts: {events} in {span_s:.1f} s of tone, and {slips} clock slips of '
          f'{args.max_slip:g} samples at most '
          f'({int(low.sum())} windows off the level, {int(jump.sum())} phase steps, '
          f'{int(noisy.sum())} windows with a residual; largest phase step '
          f'{float(jump_rad.max()):.3f} rad, largest residual {float(r.max() / nominal):.4f} '
          f'of the tone level; level {a.min():.4f}..{a.max():.4f}, nominal {nominal})')
    if events:
        where = np.nonzero(bad)[0][:10]
        times = ', '.join(f'{(first + w) * win / RATE:.2f}' for w in where)
        raise CheckFailed(f'{events} dropouts; first bad windows at {times} s of the recording')


def cmd_tone(args):
    """A tone of the given frequency and level is present (or, with
    --silent, the recording is quiet)."""
    x = read_raw(args.recording, args.channels)
    if args.end_seconds is not None:
        x = x[:int(args.end_seconds * RATE)]
    if args.silent:
        peak = float(np.max(np.abs(x))) if len(x) else 0.0
        print(f'tone: silence check over {len(x) / RATE:.2f} s, peak {peak:.5f}')
        if len(x) < RATE // 10:
            raise BadInput('less than 100 ms recorded')
        if peak > args.max_peak:
            raise CheckFailed(f'peak {peak:.5f} above {args.max_peak}: not silent')
        return
    span = sounding_span(x, args.min_rms * 0.5)
    if span is None:
        raise CheckFailed(f'no tone in {len(x) / RATE:.2f} s of recording '
                          f'(peak {float(np.max(np.abs(x))) if len(x) else 0:.5f})')
    first, last = span
    body = x[(first + 2) * 480:(last - 1) * 480]
    dur = len(body) / RATE
    if dur < args.min_seconds:
        raise CheckFailed(f'the tone lasts {dur:.2f} s, want at least {args.min_seconds} s')
    f = dominant_frequency(body)
    level = rms(body)
    share = tone_share(body, f)
    print(f'tone: {dur:.2f} s from {first * 0.01:.2f} s, {f:.2f} Hz, RMS {level:.4f}, '
          f'{share * 100:.1f} % of the power in the tone')
    if abs(f - args.freq) > args.freq_tolerance * args.freq:
        raise CheckFailed(f'frequency {f:.2f} Hz, want {args.freq} Hz '
                          f'within {args.freq_tolerance * 100:g} %')
    if level < args.min_rms:
        raise CheckFailed(f'RMS {level:.4f} below {args.min_rms}')
    if args.max_rms is not None and level > args.max_rms:
        raise CheckFailed(f'RMS {level:.4f} above {args.max_rms}')
    if share < args.min_purity:
        raise CheckFailed(f'only {share * 100:.1f} % of the power is in the tone '
                          f'(want {args.min_purity * 100:g} %): distorted or gapped')


def tone_rms(x, freq):
    span = sounding_span(x, 0.005)
    if span is None:
        raise CheckFailed('no tone in the recording')
    first, last = span
    body = x[(first + 2) * 480:(last - 1) * 480]
    if len(body) < RATE // 2:
        raise CheckFailed(f'tone too short ({len(body) / RATE:.2f} s)')
    # The median over 10 ms windows: one glitch of the sound server (see
    # lib.sh) must not move a level measured over seconds.
    windows = [body[i:i + 480] for i in range(0, len(body) - 479, 480)]
    level = float(np.median([np.sqrt(goertzel_power(w, freq)) for w in windows]))
    return level, len(body) / RATE


def cmd_ratio(args):
    """Level of a tone in one recording relative to another."""
    a = read_raw(args.recording, args.channels)
    b = read_raw(args.reference)
    la, da = tone_rms(a, args.freq)
    lb, db = tone_rms(b, args.freq)
    ratio = la / lb
    print(f'ratio: {la:.4f} over {da:.2f} s against {lb:.4f} over {db:.2f} s = {ratio:.4f} '
          f'(want {args.ratio} +- {args.tolerance})')
    if abs(ratio - args.ratio) > args.tolerance:
        raise CheckFailed(f'level ratio {ratio:.4f}, want {args.ratio} +- {args.tolerance}')


def cmd_wavimages(args):
    """The voice test's two WAVE images: size, header, and (with --identical)
    equal bytes. Their content is judged with the other subcommands."""
    expect_samples = args.samples
    images = []
    for path in (args.original, args.filtered):
        size = os.path.getsize(path)
        with open(path, 'rb') as f:
            head = f.read(44)
        fields = struct.unpack('<4sI4s4sIHHIIHH4sI', head) if len(head) == 44 else None
        want = (b'RIFF', 2 * expect_samples + 36, b'WAVE', b'fmt ', 16, 1, 1, 48000, 96000,
                2, 16, b'data', 2 * expect_samples)
        print(f'wavimages: {os.path.basename(path)}: {size} bytes, header {fields}')
        if size != 44 + 2 * expect_samples:
            raise CheckFailed(f'{path}: {size} bytes, want {44 + 2 * expect_samples}')
        if fields != want:
            raise CheckFailed(f'{path}: header {fields}, want {want}')
        images.append(read_wav(path)[0])
    with open(args.original, 'rb') as a, open(args.filtered, 'rb') as b:
        same = a.read() == b.read()
    print(f'wavimages: identical={int(same)}')
    if args.identical and not same:
        d = np.nonzero(images[0] != images[1])[0]
        raise CheckFailed(f'filter off, yet the images differ in {len(d)} samples '
                          f'(the first at {d[0]})')


def cmd_latency(args):
    """Records the microphone feed and the cable at once while a command
    plays a click into the microphone, and measures the delay between them.

    Two recorders do not start at the same moment, so the positions in the
    two recordings are put on one clock: every chunk that arrives from a
    recorder is stamped with the monotonic clock. A recorder delivers audio
    in real time, so sample j (the last of a chunk) was rendered at
    t0 + j / rate and arrived at that time plus a delivery delay d >= 0;
    min(stamp - j / rate) over the chunks is t0 plus the smallest delay
    seen, which is below one chunk period. So each recording's clock is
    known to within its chunk period, and the latency to within the larger
    of the two periods. A third recorder, on the remapped microphone source
    that the program captures, checks the method: its click must come out
    at the same time as the feed's."""
    if args.play and args.play[0] == '--':
        args.play = args.play[1:]
    if not args.play:
        raise BadInput('no command to play the click')
    devices = [args.mic_device, args.mic_source, args.cable_device]
    chans = [1, 1, 2]
    procs, bufs, stamps = [], [bytearray() for _ in devices], [[] for _ in devices]
    try:
        for dev, ch in zip(devices, chans):
            procs.append(subprocess.Popen(
                ['parec', f'--device={dev}', '--raw', '--format=s16le', f'--rate={RATE}',
                 f'--channels={ch}', '--latency-msec=5'],
                stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        for p in procs:
            os.set_blocking(p.stdout.fileno(), False)
        fds = {p.stdout.fileno(): i for i, p in enumerate(procs)}
        player = None
        t_begin = time.monotonic()
        deadline = t_begin + args.seconds
        while time.monotonic() < deadline:
            if player is None and time.monotonic() - t_begin > 0.7:
                player = subprocess.Popen(args.play, stdin=subprocess.DEVNULL)
            ready, _, _ = select.select(list(fds), [], [], 0.05)
            now = time.monotonic()
            for fd in ready:
                i = fds[fd]
                chunk = os.read(fd, 1 << 16)
                if chunk:
                    bufs[i] += chunk
                    stamps[i].append((now, len(bufs[i]) // (2 * chans[i])))
        if player is not None:
            player.wait(timeout=10)
    finally:
        for p in procs:
            p.kill()
            p.wait()
    clicks, periods = [], []
    for i, ch in enumerate(chans):
        if not stamps[i]:
            raise CheckFailed(f'recorder {i} on {devices[i]} delivered nothing')
        x = np.frombuffer(bytes(bufs[i][:len(bufs[i]) // (2 * ch) * 2 * ch]), '<i2')
        x = x.reshape(-1, ch)[:, 0].astype(np.float64) / 32768.0
        st = np.array(stamps[i], dtype=np.float64)
        # Skip the first chunks: they carry the source's backlog at once.
        st = st[len(st) // 10:]
        t0 = float(np.min(st[:, 0] - st[:, 1] / RATE))
        above = np.nonzero(np.abs(x) > args.threshold)[0]
        if len(above) == 0:
            raise CheckFailed(f'no click in the recording of {devices[i]} '
                              f'(peak {float(np.abs(x).max()):.4f})')
        clicks.append(t0 + above[0] / RATE)
        periods.append(float(np.median(np.diff(st[:, 1]))) / RATE)
    latency_ms = (clicks[2] - clicks[0]) * 1000
    bound_ms = max(periods[0], periods[2]) * 1000
    check_ms = (clicks[1] - clicks[0]) * 1000
    print(f'latency: microphone feed to cable {latency_ms:.1f} ms +- {bound_ms:.1f} ms '
          f'(feed to microphone source, should be about 0: {check_ms:.1f} ms)')
    if abs(check_ms) > 2 * bound_ms + 5:
        raise CheckFailed(f'the feed and the microphone source disagree by {check_ms:.1f} ms; '
                          'the clock alignment does not hold')
    if not 0 < latency_ms < args.max_ms:
        raise CheckFailed(f'latency {latency_ms:.1f} ms outside 0..{args.max_ms} ms')


def write_wav16(path, x, rate):
    pcm = np.clip(np.round(np.asarray(x) * 32767.0), -32767, 32767).astype('<i2')
    with open(path, 'wb') as f:
        f.write(struct.pack('<4sI4s4sIHHIIHH4sI', b'RIFF', 36 + 2 * len(pcm), b'WAVE',
                            b'fmt ', 16, 1, 1, rate, 2 * rate, 2, 16, b'data', 2 * len(pcm)))
        f.write(pcm.tobytes())


def cmd_gen(args):
    """Writes a 16-bit mono test signal: the sum of sines, or a click."""
    n = int(round(args.seconds * args.rate))
    t = np.arange(n) / args.rate
    if args.click:
        # One period of a 2 kHz sine: a sharp onset that survives any
        # filtering the path applies, then silence.
        x = np.zeros(n)
        m = args.rate // 2000
        x[:m] = args.amplitude * np.sin(2 * np.pi * np.arange(m) / m)
    else:
        x = sum(args.amplitude * np.sin(2 * np.pi * f * t) for f in args.tones)
        # 5 ms ramps: no click at either end.
        ramp = min(n // 2, int(0.005 * args.rate))
        env = np.ones(n)
        env[:ramp] = np.linspace(0, 1, ramp)
        env[n - ramp:] = np.linspace(1, 0, ramp)
        x = x * env
    lead = np.zeros(int(round(args.lead * args.rate)))
    write_wav16(args.output, np.concatenate([lead, x]), args.rate)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    sub = ap.add_subparsers(dest='cmd', required=True)

    def recording(p):
        p.add_argument('recording')
        p.add_argument('--channels', type=int, default=2, choices=(1, 2),
                       help='of the raw recording')

    p = sub.add_parser('gen', help=cmd_gen.__doc__)
    p.add_argument('output')
    p.add_argument('--rate', type=int, default=RATE)
    p.add_argument('--seconds', type=float, required=True)
    p.add_argument('--tones', type=lambda s: [float(v) for v in s.split(',')], default=[1000.0])
    p.add_argument('--amplitude', type=float, default=0.25, help='of each tone')
    p.add_argument('--lead', type=float, default=0.0, help='seconds of silence first')
    p.add_argument('--click', action='store_true')
    p.set_defaults(func=cmd_gen)

    p = sub.add_parser('exact', help=cmd_exact.__doc__)
    recording(p)
    p.add_argument('reference')
    p.add_argument('--tolerance-lsb', type=float, default=1.5)
    p.set_defaults(func=cmd_exact)

    p = sub.add_parser('similar', help=cmd_similar.__doc__)
    recording(p)
    p.add_argument('positive')
    p.add_argument('negative', nargs='*')
    p.add_argument('--min-score', type=float, default=0.8)
    p.add_argument('--margin', type=float, default=0.1)
    p.set_defaults(func=cmd_similar)

    p = sub.add_parser('dropouts', help=cmd_dropouts.__doc__)
    recording(p)
    p.add_argument('--tones', type=lambda s: [float(v) for v in s.split(',')], required=True)
    p.add_argument('--amplitude', type=float, required=True, help='of each tone')
    p.add_argument('--max-slip', type=float, default=3.0,
                   help='samples; a smaller time slip of the tones is not a dropout')
    p.add_argument('--min-seconds', type=float, default=60)
    p.add_argument('--max-phase-jump', type=float, default=0.1, help='radians')
    p.add_argument('--max-residual', type=float, default=0.05,
                   help='RMS left after the fit, relative to one tone')
    p.set_defaults(func=cmd_dropouts)

    p = sub.add_parser('tone', help=cmd_tone.__doc__)
    recording(p)
    p.add_argument('--freq', type=float, default=1000)
    p.add_argument('--freq-tolerance', type=float, default=0.01, help='relative')
    p.add_argument('--min-rms', type=float, default=0.05)
    p.add_argument('--max-rms', type=float)
    p.add_argument('--min-seconds', type=float, default=0.3)
    p.add_argument('--min-purity', type=float, default=0.95)
    p.add_argument('--end-seconds', type=float)
    p.add_argument('--silent', action='store_true')
    p.add_argument('--max-peak', type=float, default=0.002)
    p.set_defaults(func=cmd_tone)

    p = sub.add_parser('ratio', help=cmd_ratio.__doc__)
    recording(p)
    p.add_argument('reference')
    p.add_argument('--freq', type=float, required=True)
    p.add_argument('--ratio', type=float, required=True)
    p.add_argument('--tolerance', type=float, default=0.03)
    p.set_defaults(func=cmd_ratio)

    p = sub.add_parser('wavimages', help=cmd_wavimages.__doc__)
    p.add_argument('original')
    p.add_argument('filtered')
    p.add_argument('--samples', type=int, default=240000)
    p.add_argument('--identical', action='store_true')
    p.set_defaults(func=cmd_wavimages)

    p = sub.add_parser('latency', help=cmd_latency.__doc__)
    p.add_argument('--mic-device', required=True, help='the feed sink\'s monitor')
    p.add_argument('--mic-source', required=True, help='the source the program captures')
    p.add_argument('--cable-device', required=True)
    p.add_argument('--seconds', type=float, default=2.5)
    p.add_argument('--threshold', type=float, default=0.2)
    p.add_argument('--max-ms', type=float, default=500)
    p.add_argument('play', nargs=argparse.REMAINDER, help='command that plays the click')
    p.set_defaults(func=cmd_latency)

    args = ap.parse_args()
    try:
        args.func(args)
    except CheckFailed as e:
        print(f'FAIL: {args.cmd}: {e}')
        return 1
    except (BadInput, OSError) as e:
        print(f'FAIL: {args.cmd}: unusable input: {e}')
        return 2
    return 0


if __name__ == '__main__':
    sys.exit(main())
