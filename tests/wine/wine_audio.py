#!/usr/bin/python3
# The engine's end-to-end audio tests under Wine, one scenario per run:
#
#   wine_audio.py SCENARIO PROBE.exe RENDER.exe DEVICES.exe [EMULATOR...]
#
# A scenario is a function scenario_<name> below (a new one is one function
# here and one entry in wine.cmake). It starts the engine behind
# its line protocol (engine_probe.cpp), plays test signals into the harness's
# microphone sinks with paplay, records the cable and speaker sinks with parec
# and measures the recordings with numpy, one routine per kind of measurement:
# level, frequency, gaps, alignment. It needs the sound server of
# scripts/harness.sh, with its env.sh sourced. A failed check is printed and
# counted and the scenario goes on; the exit status is 1 if any failed. Work
# files (signals, recordings as WAVE) go to ./wine_<scenario>.work and are
# kept when something failed.
#
# Levels are linear with full scale 1.0; times are in seconds unless named _ms.
import os, queue, shutil, subprocess, sys, threading, time, wave  # noqa: E401
import numpy as np

RATE = 48000
WIN = 480  # analysis window: 10 ms, the engine's block at 48 kHz
MIC48, MIC44 = 'Microphone (Harness Mic)', 'Microphone 44k'
ENV = os.environ
MIC_SINK, MIC44_SINK, MIC_SOURCE = ENV.get('ZALO_MIC_FEED_SINK'), ENV.get('ZALO_MIC44_FEED_SINK'), ENV.get('ZALO_MIC_SOURCE')
CABLE, SPEAKERS = f'{ENV.get("ZALO_CABLE_SINK")}.monitor', f'{ENV.get("ZALO_SPEAKERS_SINK")}.monitor'
HARNESS = os.path.join(os.path.dirname(os.path.abspath(__file__)), '../../scripts/harness.sh')
failures, procs, undo = [], [], {}  # undo: commands that put the harness back at the end


class Stop(Exception):
    pass  # a failure after which the scenario cannot go on


def check(ok, what, count=True):  # count=False: a verdict that only counts through takes()
    if count and not ok:
        failures.append(what)
    print(('  ok: ' if ok else 'FAIL: ' if count else '  NOT: ') + what, flush=True)
    return ok


# Wine's own sound path is not gapless on a loaded virtual machine (a bare
# waveOut tone player drops out too, at random moments), so a measurement
# that needs a clean stretch of sound is taken again, up to three times. A
# fault of the program repeats in every take.
def takes(what, attempt, n=3):
    for take in range(1, n + 1):
        print(f'{what}: take {take}', flush=True)
        if attempt():
            return check(True, what)
    return check(False, f'{what}: in none of {n} takes')


def until(seconds, condition):
    end = time.monotonic() + seconds
    while not (ok := condition()) and time.monotonic() < end:
        time.sleep(0.1)
    return ok


def spawn(args, stdin=subprocess.DEVNULL, **kw):
    procs.append(subprocess.Popen(args, stdin=stdin, **kw))
    return procs[-1]


def set_cable(on):
    subprocess.run(['bash', HARNESS, 'cable-on' if on else 'cable-off'], check=True)
    undo['cable'] = [] if on else ['bash', HARNESS, 'cable-on']


# The probe runs with Wine's PulseAudio driver reporting each time the sound
# server found a render stream empty. Wine hides that from the program (its
# padding and clock count periods on a timer of their own) and fills the
# server's buffer with silence that stays as delay, so these lines are the
# only sign of such a run-out.
class Probe:
    def __init__(self):
        self.proc = spawn(EMULATOR + [PROBE], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
                          stderr=open('probe.stderr', 'a'), env={**os.environ, 'WINEDEBUG': '-all,warn+pulse'})
        self.replies = queue.Queue()
        threading.Thread(target=self.read, daemon=True).start()

    def read(self):
        for line in self.proc.stdout:
            self.replies.put(line.strip())
        self.replies.put(None)  # the probe has ended

    # Sends one command; returns the reply's key=value fields. The scenario
    # ends unless the reply is "ok".
    def __call__(self, line, timeout=20, echo=True):
        try:
            self.proc.stdin.write(line + '\n')
            self.proc.stdin.flush()
            reply = self.replies.get(timeout=timeout) or f'(the probe ended, exit status {self.proc.wait(5)})'
        except (OSError, queue.Empty):
            reply = f'(no reply; exit status {self.proc.poll()})'
        # A crash under Wine shows as a Windows exception code, e.g.
        # 3221225477 = 0xC0000005, access violation.
        if echo or not reply.startswith('ok'):
            print(f'probe> {line}\nprobe< {reply}', flush=True)
        if not reply.startswith('ok'):
            raise Stop(f'probe command "{line}": {reply}')
        return dict(word.split('=', 1) for word in reply.split()[1:] if '=' in word)

    def underflows(self):  # run-outs of the probe's render streams so far (all probes of the scenario)
        with open('probe.stderr', errors='replace') as f:
            return f.read().count('pulse_underflow_callback')

    def save(self):  # the voice test's images, once it is complete
        until(8, lambda: self('status')['rec_pos'] == '240000')
        return self('save')

    def quit(self):
        self('quit')
        check(self.proc.wait(10) == 0, f'the probe exits with status 0 (got {self.proc.returncode})')


# parec on a source into memory. Each chunk is stamped with the monotonic
# clock on arrival; the sink renders in real time, so min(arrival - frames so
# far / RATE) is t0, the time of the first sample, plus the smallest delivery
# delay, less than one chunk (5 ms). That puts recordings of different
# sources on one clock, and places them against the registry saves.
class Rec:
    def __init__(self, source, channels=2):
        self.source, self.channels, self.data, self.stamps = source, channels, bytearray(), []
        self.proc = spawn(['parec', f'--device={source}', '--raw', '--format=s16le', f'--rate={RATE}',
                           f'--channels={channels}', '--latency-msec=5'], stdout=subprocess.PIPE)
        self.reader = threading.Thread(target=self.read, daemon=True)
        self.reader.start()
        if not until(5, lambda: self.stamps):
            raise Stop(f'the recorder on {source} delivers nothing')

    def read(self):
        for chunk in iter(lambda: self.proc.stdout.read1(1 << 16), b''):
            self.data += chunk
            self.stamps.append((time.monotonic(), len(self.data) // (2 * self.channels)))

    def stop(self, after=0.0):
        time.sleep(after)
        self.proc.terminate()
        self.reader.join(5)
        frame = 2 * self.channels
        x = np.frombuffer(bytes(self.data[:len(self.data) // frame * frame]), '<i2').reshape(-1, self.channels)
        # The first chunks bring the source's backlog at once.
        settled = [t - n / RATE for t, n in self.stamps if t > self.stamps[0][0] + 0.5]
        self.t0, self.x = min(settled or [t - n / RATE for t, n in self.stamps]), x[:, 0] / 32768
        name = write_wav(f'rec{len(os.listdir())}-{self.source}.wav', self.x)
        if not np.array_equal(x[:, 0], x[:, -1]):  # every output of the engine is mono
            check(False, f'{name}: left and right differ')
        return self


def play(path, sink, wait=True):
    p = spawn(['paplay', f'--device={sink}', path])
    seconds = os.path.getsize(path) / (2 * RATE)  # long takes (the burst check) play for minutes
    if wait and p.wait(max(120, seconds + 60)) != 0:
        check(False, f'paplay {path} into {sink} failed')
    return p


# Records the sources (a name, or a name and channels) while path plays into sink.
def hear(path, sink, *sources, before=0.0, after=0.3):
    recs = [Rec(*s) if isinstance(s, tuple) else Rec(s) for s in sources]
    time.sleep(before)
    play(path, sink)
    time.sleep(after)
    return [r.stop() for r in recs]


def write_wav(name, x, rate=RATE):
    with wave.open(name, 'wb') as w:
        w.setparams((1, 2, rate, 0, 'NONE', ''))
        w.writeframes(np.clip(np.round(x * 32768), -32768, 32767).astype('<i2').tobytes())
    return os.path.abspath(name)


def load(path):  # any WAVE file (16-bit or float) as mono floats
    raw = subprocess.run(['sox', '-D', path, '-t', 'f32', '-c', '1', '-'], capture_output=True, check=True)
    return np.frombuffer(raw.stdout, '<f4').astype(np.float64)


# Sines with 5 ms ramps after 0.2 s of silence (paplay may lose the first
# milliseconds of a stream).
def signal(name, seconds, freqs=(1000,), amp=0.5, rate=RATE):
    t = np.arange(int(seconds * rate)) / rate
    x = sum(amp * np.sin(2 * np.pi * f * t) for f in freqs) * np.minimum(1, np.minimum(t, t[::-1]) / 0.005)
    return write_wav(f'{name}.wav', np.r_[np.zeros(rate // 5), x], rate)


# ---------------------------------------------------------------- measures

# Least-squares fit of the sines freqs to every 10 ms window of x: the complex
# amplitude of each per window, its phase referred to the start of x (so that
# a steady sine keeps it), and the RMS the fit leaves over.
def fit(x, freqs):
    n, t = len(x) // WIN, np.arange(WIN) / RATE
    basis = np.array([f(2 * np.pi * hz * t) for hz in freqs for f in (np.cos, np.sin)]).T
    windows = x[:n * WIN].reshape(n, WIN)
    coef = windows @ np.linalg.pinv(basis).T
    resid = np.sqrt(np.mean((windows - coef @ basis.T) ** 2, axis=1))
    start = np.arange(n) * WIN / RATE
    return np.array([(coef[:, 2 * i] - 1j * coef[:, 2 * i + 1]) * np.exp(-2j * np.pi * hz * start)
                     for i, hz in enumerate(freqs)]), resid


# Level of the first of the sines freqs: its median amplitude over the
# windows where it sounds (half its loudest or more), robust to a glitch; for
# how long it sounds; and the share of the power there that is the sines'
# (under 1 for distortion, noise or splices).
def level(x, freqs=(1000,)):
    z, resid = fit(x, freqs)
    a = np.abs(z[0])
    on = a >= a.max() / 2
    tones = np.sum(np.abs(z[:, on]) ** 2) / 2
    return np.median(a[on]), np.sum(on) * WIN / RATE, tones / (tones + np.sum(resid[on] ** 2))


def tone_ok(x, what, amp=0.5, seconds=1.0, freqs=(1000,)):
    a, length, purity = level(x, freqs)
    return check(abs(a - amp) <= 0.05 * amp and length >= seconds and purity >= 0.95,
                 f'{what}: {freqs[0]} Hz at {a:.3f} (want {amp}) for {length:.2f} s (want {seconds} s), '
                 f'{purity:.1%} of the power in the tones (want 95 %)')


def silent_ok(x, what):
    return check(len(x) > RATE / 10 and np.abs(x).max() < 0.001, f'{what}: silent (peak {np.abs(x).max():.5f})')


# Gaps in steady sines of amplitude amp each: windows whose level is off by
# 20 %, whose phase steps against the window before, or that hold something
# else than the sines. A run of bad windows that keeps the level and across
# which every sine moves by the same half a sample to three samples is the
# sound server resynchronising a stream, not a gap: a program drops or pads
# whole blocks.
#
# The Wine server writes its registry to disk 30 s after it changed, and every
# Wine audio program changes it when it lists the audio endpoints. The save
# stalls the server for tens of milliseconds, and with it every Wine thread
# waiting on a server object: whatever plays or records at that moment drops
# out, in any program. So a gap within half a second of the last save (on the
# monotonic clock, as t0, the time of x's first sample) is the server's.
def gaps_ok(x, t0, freqs, amp, seconds, what, count=False):
    saved = max(os.stat(f'{ENV["WINEPREFIX"]}/{f}.reg').st_mtime for f in ('system', 'user')) - time.time() + \
        time.monotonic()
    z, resid = fit(x, freqs)
    on = np.flatnonzero(np.all(np.abs(z) > amp / 2, axis=0))
    if len(on) < 5:
        return check(False, f'{what}: the tones do not arrive', count)
    z, resid = z[:, on[0] + 2:on[-1] - 1], resid[on[0] + 2:on[-1] - 1]  # the edge windows are partly silent
    step = np.angle(z[:, 1:] * np.conj(z[:, :-1]))
    trend = np.median(step, axis=1)  # a constant clock offset between the sinks
    low = np.any(np.abs(np.abs(z) - amp) > 0.2 * amp, axis=0)
    jump = np.r_[False, np.any(np.abs(np.angle(np.exp(1j * (step - trend[:, None])))) > 0.1, axis=0)]
    edges = np.flatnonzero(np.diff(np.r_[0, low | jump | (resid > 0.05 * amp), 0]))
    found, slips, stalls = [], 0, 0
    for b0, b1 in zip(edges[::2], edges[1::2]):  # bad windows b0..b1-1
        turn = np.angle(z[:, b1 % len(low)] * np.conj(z[:, b0 - 1]) * np.exp(-1j * trend * (b1 - b0 + 1)))
        shift = turn / (2 * np.pi * np.array(freqs)) * RATE  # samples
        at = (on[0] + 2 + b0) * WIN / RATE
        steady = 0 < b0 and b1 < len(low) and not low[b0:b1].any()
        if steady and np.all((abs(shift) >= 0.5) & (abs(shift) <= 3)) and np.ptp(shift) < 0.5:
            slips += 1
        elif abs(t0 + at - saved) < 0.5:
            stalls += 1
        else:
            found.append(f'{at:.2f}')
    return check(not found and len(low) * WIN / RATE >= seconds,
                 f'{what}: {len(found)} gaps in {len(low) * WIN / RATE:.1f} s of tone (want none in {seconds} s) '
                 f'{"at " + ", ".join(found[:8]) + " s" if found else ""}; {slips} clock slips, {stalls} gaps at '
                 f'registry saves; level {np.abs(z).min():.3f}..{np.abs(z).max():.3f} (want {amp})', count)


def align(rec, ref):  # lag at which ref best matches rec[lag:], by cross-correlation
    n = 1 << int(np.ceil(np.log2(len(rec) + len(ref))))
    c = np.fft.irfft(np.fft.rfft(rec, n) * np.conj(np.fft.rfft(ref, n)), n)
    return int(np.argmax(c[:max(1, len(rec) - len(ref) + 1)]))


# --------------------------------------------------------------- scenarios

# The outputs' device path the scenario runs on: a scenario named NAME_waveout
# runs NAME with the LowLatency setting off (waveOut), any other on the
# default stream path.
LOW_LATENCY = '1'


def started_probe(mic=MIC48, settle=1.0, p=None):
    p = p or Probe()
    p('lowlatency ' + LOW_LATENCY)
    p('start ' + mic)
    p('params filter=off')
    time.sleep(settle)  # capture and the cable output settle
    return p


# A stream started with one packet queued ran dry within its first periods
# in most starts here, and the silence the server then added stayed as delay.
def starts_without_running_dry(p):
    if LOW_LATENCY == '1':
        n = p.underflows()
        check(n == 0, f'the cable stream started without the sound server running dry ({n} run-outs)')


# Speech reaches the cable as zalo-render renders it offline with the filter
# off: sample for sample after alignment, up to the 16-bit rounding of the
# output. (The voices themselves are pinned natively, against a transcription
# of the chain, in the Windows build too.)
#
# The drift loop is held here: under Wine the device clocks move in whole
# 10 ms periods, and the loop, which can only see those steps against the
# packets' arrivals, may trim by a few hundred ppm now and then although
# every sink runs on one clock. A trimmed stream is resampled, not copied.
# That the loop never trims when the clocks agree, and the output is then
# the input bit for bit, is shown in the drift simulation (DriftLoop tests).
def scenario_speech():
    p = Probe()
    p('drift hold')
    p = started_probe(p=p)
    starts_without_running_dry(p)
    subprocess.run('espeak-ng -v pt-br -s 165 --stdout "Olá pessoal, este é um teste do microfone virtual. Um, dois, '
                   'três." | sox -D -t wav - -b 16 speech.wav rate 48000 gain -n -6 pad .5 .5', shell=True, check=True)
    if spawn(EMULATOR + [RENDER, '--filter', 'off', 'speech.wav', 'off.wav'], stdout=subprocess.DEVNULL).wait(60):
        raise Stop('zalo-render failed')
    ref = load('off.wav')

    def exact():
        x = hear('speech.wav', MIC_SINK, CABLE, after=0.5)[0].x
        p('status')
        lag = align(x, ref)
        diff = np.abs(x[lag:lag + len(ref)] - ref[:len(x) - lag]) * 32768
        return check(len(x) >= lag + len(ref) and diff.max() <= 1.5,
                     f'the speech at {lag / RATE:.3f} s, {np.sum(diff > 1.5)} samples off by more than 1.5 LSB '
                     f'(largest {diff.max():.1f} LSB at {np.argmax(diff) / RATE:.2f} s)', False)
    takes('filter off: the cable carries the microphone sample for sample', exact)
    p.quit()


# A minute of two steady sines (1037 and 1511 Hz: neither a whole number of
# cycles per 10 ms, so a lost or repeated block cannot hide in whole periods)
# reaches the cable without a gap. The microphone source is measured too, to
# tell a glitch of the test's own playback from one of the program.
def scenario_dropouts():
    tones, p = signal('tones', 62, (1037, 1511), 0.25), started_probe()

    def minute():
        cable, mic = hear(tones, MIC_SINK, CABLE, (MIC_SOURCE, 1))
        gaps_ok(mic.x, mic.t0, (1037, 1511), 0.25, 60, 'the microphone source (the test\'s input)')
        return gaps_ok(cable.x, cable.t0, (1037, 1511), 0.25, 60, 'the cable')
    takes('a minute of tones reaches the cable without a gap', minute)
    check(p('status')['running'] == '1', 'capture still runs')
    p.quit()


# Clicks measured as a user would hear them: each one goes at once to the
# microphone and to the cable through a combine sink, so one recording of the
# cable holds it twice, direct and through the program, and the distance
# between the two is the program's delay from microphone to cable. The click
# is 20 ms of 2 kHz: its onset survives any filtering. Returns the delays in
# ms of the clicks whose copy came back and, with `pairs`, where each direct
# click and its copy start (samples).
def click_delays(rec, count, period, pairs=False):
    env = np.convolve(np.abs(rec.x), np.ones(48) / 48, 'same')
    above = env > 0.15
    onsets = np.flatnonzero(above[1:] & ~above[:-1]) + 1
    found, delays = [], []
    for t in onsets:  # keep onsets at least 25 ms apart (one per click copy)
        if not found or t - found[-1] > 0.025 * RATE:
            found.append(t)
    i, where = 0, []
    while i + 1 < len(found) and len(delays) < count:
        gap = (found[i + 1] - found[i]) / RATE
        if 0.025 < gap < period / 2:  # a direct click and its copy
            delays.append(gap * 1000)
            where.append((found[i], found[i + 1]))
            i += 2
        else:
            i += 1
    return (np.array(delays), where) if pairs else np.array(delays)


def combine_sink():
    module = subprocess.run(['pactl', 'load-module', 'module-combine-sink', 'sink_name=click_split',
                             f'slaves={MIC_SINK},{ENV["ZALO_CABLE_SINK"]}', 'adjust_time=0'],
                            capture_output=True, text=True, check=True).stdout.strip()
    undo['combine'] = ['pactl', 'unload-module', module]
    return 'click_split'


def clicks(name, count, period, seconds=0.02):
    t = np.arange(int(period * RATE)) / RATE
    one = 0.8 * np.sin(2 * np.pi * 2000 * t) * (t < seconds)
    return write_wav(f'{name}.wav', np.r_[np.zeros(RATE // 2), np.tile(one, count)])


# Microphone to cable with the filter on (the setting users run with), on the
# scenario's path; printed with its spread, and bounded only loosely: the
# harness's sound server adds buffering of its own, and timings on a shared
# machine are not pass/fail material. The figures of both paths side by side
# are what to compare.
def scenario_latency():
    split, p = combine_sink(), started_probe()
    starts_without_running_dry(p)
    # The filter on with voice 0, which adds no echo: an echo would pass for
    # a second copy of each click.
    p('params filter=on voice=0')
    train = clicks('clicks', 20, 0.5)

    def measure():
        delays = click_delays(hear(train, split, CABLE, before=0.5, after=0.5)[0], 20, 0.5)
        print('click delays (ms):', ' '.join(f'{d:.1f}' for d in delays), flush=True)
        ok = len(delays) >= 18 and 0 < np.median(delays) < 500
        return check(ok, f'microphone to cable: median {np.median(delays) if len(delays) else np.nan:.1f} ms, '
                     f'{np.min(delays) if len(delays) else np.nan:.1f}..{np.max(delays) if len(delays) else np.nan:.1f} '
                     f'over {len(delays)} of 20 clicks ({"stream" if LOW_LATENCY == "1" else "waveout"} path)', False)
    takes('latency under 500 ms', measure)
    s = p('status')
    print(f'cable: skips {s["cable_skips"]}, pads {s["cable_pads"]}, aligns {s["cable_aligns"]}, '
          f'trim {s["cable_trim_ppm"]} ppm, slack {s["cable_slack"]} samples', flush=True)
    p.quit()


# The live monitor's delay, measured the same way on the speakers; by hand
# (not in the ctest list): wine_audio.py latency_monitor[_waveout] ...
def scenario_latency_monitor():
    module = subprocess.run(['pactl', 'load-module', 'module-combine-sink', 'sink_name=click_split_monitor',
                             f'slaves={MIC_SINK},{ENV["ZALO_SPEAKERS_SINK"]}', 'adjust_time=0'],
                            capture_output=True, text=True, check=True).stdout.strip()
    undo['combine'] = ['pactl', 'unload-module', module]
    p = started_probe()
    p('params filter=on voice=0')
    p('monitor 1.0')
    time.sleep(1)
    delays = click_delays(hear(clicks('clicks', 20, 0.5), 'click_split_monitor', SPEAKERS, before=0.5, after=0.5)[0],
                          20, 0.5)
    print('click delays (ms):', ' '.join(f'{d:.1f}' for d in delays), flush=True)
    check(len(delays) >= 18, f'microphone to monitor: median {np.median(delays):.1f} ms over {len(delays)} of 20 '
          f'clicks ({"stream" if LOW_LATENCY == "1" else "waveout"} path)')
    p.quit()


# The same delay measured through the bare harness: a capture written at
# once, block by block, into a render stream on the cable, with no engine in
# between. The floor any program could reach here; printed, not judged.
def scenario_latency_floor():
    split, p = combine_sink(), Probe()
    p('bare ' + MIC48)
    time.sleep(1)
    delays = click_delays(hear(clicks('clicks', 20, 0.5), split, CABLE, before=0.5, after=0.5)[0], 20, 0.5)
    check(len(delays) >= 18, f'bare capture to render stream: median {np.median(delays):.1f} ms, '
          f'{np.min(delays):.1f}..{np.max(delays):.1f} over {len(delays)} of 20 clicks')
    p.quit()


# Bursts of tone, one a second, through the program (filter off) for
# ZALO_BURST_MINUTES (1 by default, taken again once if it fails; 10 for the
# full check on a quiet machine): every burst arrives whole, no burst's delay
# is more than 12 ms from another's, the delay moves by less than 2 ms from
# the first minute to the last (the first half to the second in a shorter
# run), and the cable uses no last resort (a skip or a pad) meanwhile. With
# ZALO_BURST_DRIFT=hold the drift loop is held, to compare.
def scenario_bursts():
    minutes = float(ENV.get('ZALO_BURST_MINUTES', '1'))
    count = int(minutes * 60)
    split, p = combine_sink(), Probe()
    if ENV.get('ZALO_BURST_DRIFT') == 'hold':
        p('drift hold')
    if ENV.get('ZALO_BURST_BARE'):
        p('bare ' + MIC48)
        time.sleep(1)
    else:
        p = started_probe(p=p)
    t = np.arange(RATE) / RATE
    burst = 0.5 * np.sin(2 * np.pi * 1000 * t) * (t < 0.02)
    train = write_wav('bursts.wav', np.r_[np.zeros(RATE // 2), np.tile(burst, count)])

    def run():
        bare = ENV.get('ZALO_BURST_BARE')
        before = {'cable_skips': 0, 'cable_pads': 0} if bare else p('status')
        rec = hear(train, split, CABLE, before=0.5, after=0.5)[0]
        after = {'cable_skips': 0, 'cable_pads': 0, 'cable_trim_ppm': '-'} if bare else p('status')
        delays, where = click_delays(rec, count, 1.0, pairs=True)

        # A copy with a gap inside holds less of the tone than the direct burst.
        def loud(at):
            return np.sum(np.abs(rec.x[at - 48:at + 1500]) > 0.25)
        broken = [i for i, (direct, copy) in enumerate(where) if loud(copy) < 0.95 * loud(direct)]
        minute = min(60, max(1, len(delays) // 2))
        drift = np.median(delays[-minute:]) - np.median(delays[:minute]) if len(delays) else np.nan
        resorts = {k: int(after[k]) - int(before[k]) for k in ('cable_skips', 'cable_pads')}
        return check(len(delays) == count and not broken and np.ptp(delays) <= 12 and abs(drift) < 2 and
                     not any(resorts.values()),
                     f'{len(delays)} of {count} bursts came back, {len(broken)} with a gap inside; delays '
                     f'{np.min(delays) if len(delays) else np.nan:.1f}..{np.max(delays) if len(delays) else np.nan:.1f} '
                     f'ms, median {np.median(delays) if len(delays) else np.nan:.1f} (want a spread of at most 12 ms); '
                     f'moved {drift:+.2f} ms from the first minute to the last (want under 2); skips and pads '
                     f'{resorts} (want none); trim {after["cable_trim_ppm"]} ppm', False)
    takes(f'{count} bursts arrive whole at a steady delay', run, 2)
    p.quit()


# WASAPI output refused on both devices (as by an endpoint whose engine will
# not take the stream): waveOut takes over by itself, the status line still
# reads the cable as connected, and the tone reaches the cable and, with the
# monitor on, the speakers.
def scenario_fallback():
    p = Probe()
    p('refuse on')
    p('start ' + MIC48)
    p('params filter=off')
    check(until(3, lambda: p('status')['connected'] == '1'), 'the cable connects within 3 s')
    p('monitor 0.5')
    time.sleep(0.5)
    s = p('status')
    check(s['cable_path'] == 'waveout' and s['monitor_path'] == 'waveout', 'both outputs fell back to waveOut')
    cable, speakers = hear(signal('tone', 2), MIC_SINK, CABLE, SPEAKERS)
    tone_ok(cable.x, 'the cable on waveOut', seconds=1.5)
    tone_ok(speakers.x, 'the speakers on waveOut', amp=0.25, seconds=1.5)
    p.quit()


# The cable absent at start (capture goes on), present at start, removed
# while playing (nothing spills to the speakers) and returning. Wine's waveOut
# device list is fixed when a process starts, so a cable that first appears
# later is seen by a new process only.
def scenario_cable():
    def connected(want, seconds):
        return check(until(seconds, lambda: p('status')['connected'] == want), f'connected={want} within {seconds} s')
    set_cable(False)
    play(signal('tone', 40), MIC_SINK, wait=False)
    p = started_probe(settle=0)
    check(until(3, lambda: float(p('status')['in_peak']) > 0.3), 'without a cable the microphone is captured')
    time.sleep(1)  # the output thread has searched more than once
    check(p('status')['running'] == '1', 'capture runs without a cable')
    connected('0', 0)
    set_cable(True)
    p.quit()
    p = started_probe(settle=0)
    connected('1', 2)
    want = 'stream' if LOW_LATENCY == '1' else 'waveout'
    check(p('status')['cable_path'] == want, f'the cable plays through {want}')
    tone_ok(Rec(CABLE).stop(1.5).x, 'the cable')
    speakers = Rec(SPEAKERS)
    set_cable(False)
    connected('0', 3)
    silent_ok(speakers.stop(1).x, 'the speakers while the cable is gone')
    set_cable(True)
    connected('1', 3)
    tone_ok(Rec(CABLE).stop(1.5).x, 'the returned cable')
    check(p('status')['running'] == '1', 'capture still runs')
    p.quit()


# 200 rounds of start on one microphone, start on the other (the monitor on
# in every fourth), stop, with short random pauses: no deadlock, never two
# capture threads at once, none left, and the engine works afterwards.
def scenario_stress():
    p, most, pauses = Probe(), 0, iter(np.random.default_rng(5).uniform(0, 0.015, 400))
    for i in range(200):
        for mic in (MIC48, MIC44):
            most = max(most, int(p('start ' + mic, echo=False)['capture_threads']))
            if i % 4 == 0:
                p('monitor 0.75', echo=False)
            time.sleep(next(pauses))
        p('stop', echo=False)
    s = p('status')
    check(most <= 1 and s['capture_threads'] == s['cable_threads'] == s['monitor_threads'] == '0',
          f'{most} capture threads at most; after a stop no capture, cable or monitor thread')
    check(started_probe(settle=0.5, p=p)('status')['capture_threads'] == '1', 'one capture thread after a start')
    tone_ok(hear(signal('tone', 3), MIC_SINK, CABLE)[0].x, 'the cable after the switches', seconds=2.5)
    p.quit()


# A 44.1 kHz microphone: the engine converts to 48 kHz, so the voice test
# holds 240000 samples of a 1 kHz tone at 48 kHz, at its level, and 30 s of
# tone reach the cable without a gap: a conversion that loses a fraction of a
# sample per block (0.45 of 522 for 480-frame packets) starves the cable,
# which then pads silence, 10 ms about every 12 s.
def scenario_mic44k():
    p = started_probe(MIC44)
    tone6 = play(signal('tone6', 6.5, rate=44100), MIC44_SINK, wait=False)
    time.sleep(1)
    p('record')
    check(p.save()['identical'] == '1', 'filter off: identical voice-test images')
    original = load('original.wav')
    check(len(original) == 240000, f'the voice test: {len(original)} samples (want 240000)')
    # Recorded before the conversion, the tone would be 1088 Hz: far off the fit.
    tone_ok(original, 'the voice test', seconds=4.5)
    tone, _ = signal('tone', 31, rate=44100), tone6.wait(10)
    time.sleep(0.5)  # until its tail has passed the cable too

    def half_minute():
        cable = hear(tone, MIC44_SINK, CABLE)[0]
        return gaps_ok(cable.x, cable.t0, [1000], 0.5, 30, 'the cable')
    takes('44.1 kHz microphone: 30 s of tone reach the cable without a gap', half_minute)
    p.quit()


# The monitor at volume 0.5 plays the cable's tone at half its level on the
# default output (the speakers sink); once off, the speakers stay silent
# while the cable plays on.
def scenario_monitor():
    tone, p = signal('tone', 2), started_probe()
    p('monitor 0.5')
    cable, speakers = hear(tone, MIC_SINK, CABLE, SPEAKERS)
    ratio = level(speakers.x)[0] / level(cable.x)[0]
    check(abs(ratio - 0.5) <= 0.02, f'the speakers get {ratio:.3f} of the cable level (want 0.5)')
    want = 'stream' if LOW_LATENCY == '1' else 'waveout'
    check(p('status')['monitor_path'] == want, f'the monitor plays through {want}')
    p('monitor off')
    check(p('status')['monitor'] == '0', 'the monitor stops')
    time.sleep(0.3)
    cable, speakers = hear(tone, MIC_SINK, CABLE, SPEAKERS)
    tone_ok(cable.x, 'the cable with the monitor off', seconds=1.5)
    silent_ok(speakers.x, 'the speakers with the monitor off')
    p.quit()


# The five-second voice test with voice 7: an original that holds the
# microphone's tones without a gap and a filtered image that differs from it
# (filter off, the two are identical: mic44k); a finished test plays on the
# default output, and a new test stops that sound before it drops the images.
def scenario_voicetest():
    p = started_probe(settle=0)
    play(signal('tones', 40, (1037, 1511), 0.25), MIC_SINK, wait=False)
    time.sleep(0.7)
    p('params voice=7')

    def voice_test():
        t0 = time.monotonic()
        p('record')
        check(int(p('status')['rec_pos']) < 240000, 'a voice test is under way')
        check(p.save()['identical'] == '0', 'voice 7: the filtered image differs from the original')
        return gaps_ok(load('original.wav'), t0, (1037, 1511), 0.25, 4.9, 'the original')
    takes('the original holds the tones without a gap', voice_test)
    playing = Rec(SPEAKERS)
    p('play original')
    tone_ok(playing.stop(1.5).x, 'the played original', amp=0.25, freqs=(1037, 1511))
    p('record')
    time.sleep(0.3)
    silent_ok(Rec(SPEAKERS).stop(1).x, 'the speakers once a new test started')
    p.quit()


# A system that refuses new threads: starting the engine neither crashes nor
# lets the exception out and leaves it stopped (the main window shows a
# disconnected microphone); once threads work again, the next start runs.
def scenario_thread_failure():
    p = Probe()
    p('threads off')
    r, s = p('start ' + MIC48), p('status')
    check(r['escaped'] == r['started'] == s['running'] == s['connected'] == '0',
          'start neither throws nor claims to run; running=0, connected=0')
    p('threads on')
    check(p('start ' + MIC48)['started'] == '1', 'the next start works')
    check(until(3, lambda: p('status')['connected'] == '1'), 'the cable connects within 3 s')
    check(p('status')['capture_threads'] == '1', 'one capture thread')
    p.quit()


# A microphone that vanishes while capturing (Wine never reports it, so the
# probe makes the endpoint fail): capture ends and running turns 0, so the
# main window reads it as disconnected; the next start captures again.
def scenario_vanish():
    p = started_probe()
    check(p('status')['running'] == '1', 'capturing before the microphone goes')
    p('vanish')
    check(until(1, lambda: p('status')['running'] == '0'), 'running=0 within 1 s of the microphone going')
    p('start ' + MIC48)
    time.sleep(0.5)
    check(p('status')['running'] == '1', 'the next start captures again')
    p.quit()


# zalo-devices' output contract (the README documents its lines), with the
# cable present, absent and back, and a source whose name holds a non-ASCII
# letter in an accented form of a loopback key.
def scenario_devices():
    def run(*args):
        r = subprocess.run(EMULATOR + [DEVICES, *args], capture_output=True, timeout=60)
        out, err = r.stdout.decode('utf-8'), r.stderr.decode('utf-8', 'replace')
        print(out, err, end='')
        return r.returncode, out, [line.split('\t') for line in out.splitlines()], err
    module = subprocess.run(['pactl', 'load-module', 'module-null-source', 'source_name=zalo_devices_accent', 'rate=48000',
                             'channels=1', 'description="Mixagem estéreo (Harness)"'], capture_output=True, text=True)
    undo['source'] = ['pactl', 'unload-module', module.stdout.strip()]
    rc, out, rows, _ = run()
    got = {tuple(r[:2]): r[3:] for r in rows if r[0] in ('listed', 'excluded') and len(r) > 3 and r[2]}
    mono, stereo = '48000 Hz, 1 ch, 32-bit float', '48000 Hz, 2 ch, 32-bit float'
    want = {('listed', MIC48): [mono], ('listed', 'Microphone 44k (Harness Mic)'): ['44100 Hz, 1 ch, 32-bit float'],
            ('listed', 'Mixagem estéreo (Harness)'): [mono], ('excluded', 'Stereo Mix (Harness)'): [stereo, 'loopback'],
            ('excluded', 'Monitor of CABLE Input (VB-Audio Virtual Cable)'): [stereo, 'virtual-cable']}
    check(rc == 0 and all(got.get(k) == v for k, v in want.items()), 'the microphones, with ids, formats, reasons')
    ids = [r[2] for r in rows if r[0] in ('listed', 'excluded')]
    check(len(ids) == len(set(ids)), 'endpoint ids are unique')
    cable = next((r[1:] for r in rows if r[0] == 'cable'), [])
    check(cable[1:] == ['CABLE Input (VB-Audio Virtual C'] and ['waveout', *cable] in rows,
          'the cable line names its waveout device')
    set_cable(False)
    rc, out, rows, _ = run()
    set_cable(True)
    check(rc == 0 and ['cable', 'not found'] in rows and 'CABLE Input' not in out and
          ['listed', MIC48] in [r[:2] for r in rows], 'no cable: "cable\tnot found", the microphones listed')
    rc, _, rows, _ = run()
    check(rc == 0 and rows[-1:] and rows[-1][0] == 'cable' and rows[-1][2:] == cable[1:], 'the cable is found again')
    rc, out, _, err = run('--verbose')
    check(rc == 2 and not out and '--verbose' in err, 'a bad option: status 2, named on stderr')


def main():
    global PROBE, RENDER, DEVICES, EMULATOR, LOW_LATENCY
    if len(sys.argv) < 5 or f'scenario_{sys.argv[1].removesuffix("_waveout")}' not in globals() or \
            'PULSE_SERVER' not in ENV:
        sys.exit('usage: wine_audio.py SCENARIO PROBE.exe RENDER.exe DEVICES.exe [EMULATOR...], '
                 'with build/harness/env.sh of a started scripts/harness.sh sourced')
    name, (PROBE, RENDER, DEVICES), EMULATOR = sys.argv[1], map(os.path.abspath, sys.argv[2:5]), sys.argv[5:]
    scenario = name
    if name.endswith('_waveout'):
        scenario, LOW_LATENCY = name[:-len('_waveout')], '0'
    work = os.path.abspath(f'wine_{name}.work')
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    os.chdir(work)
    try:
        globals()[f'scenario_{scenario}']()
    except (Stop, subprocess.TimeoutExpired) as stop:
        check(False, str(stop))
    finally:
        for proc in procs:
            proc.kill()
        for command in filter(None, undo.values()):
            subprocess.run(command)
    print(f'{name}: {len(failures)} failed checks', f'; work files kept in {work}' if failures else '', flush=True)
    if not failures:
        shutil.rmtree(work)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
