#!/usr/bin/env python3
"""Writes a made-up but realistic flight log in the Kelo radio's flight-log format.

    make_flight_log.py [--flight hover|sport|endurance] [--seconds N] [--seed N] OUTPUT

A 450-size electric helicopter on a 6S pack is flown by a simulated pilot: throttle hold,
spool-up (with a short ground-resonance shake), take-off, the flight's manoeuvres, landing
and spool-down. Sticks, switches and channels, transmitter and receiver link, ESC
telemetry, GPS and the flight controller's attitude, vibration, RPM and altitude are
recorded at the rates a radio logs them, and the pack sags under load as it empties.

  hover      hovering practice: drift corrections, nose-in, slow circuits, a slow piro
  sport      climbs, fast passes, loops, rolls, flips and piros; high current peaks
  endurance  long gentle circuits until the pack's low-voltage alarm, then a landing

samples/logs/hover-practice.log is this script's output with the defaults
(--flight hover --seconds 150 --seed 1). The output is the same for the same arguments.
"""

import argparse
import math
import os
import random
import struct
import sys
import tempfile

TICK = 0.02  # the simulation and the flight controller's records run at 50 Hz
G = 9.81

FLIGHTS = {
    # name: default seconds, headspeed, flight-mode bank, pack mAh, cruise altitude
    "hover": dict(seconds=150, rpm=2350, bank=0, capacity=2500, alt=2.5),
    "sport": dict(seconds=300, rpm=2750, bank=1, capacity=2700, alt=15.0),
    "endurance": dict(seconds=480, rpm=2250, bank=0, capacity=2200, alt=12.0),
}

# Open-circuit voltage of one LiPo cell by state of charge.
OCV = [(0.00, 3.27), (0.05, 3.50), (0.10, 3.61), (0.20, 3.69), (0.30, 3.74), (0.40, 3.78),
       (0.50, 3.82), (0.60, 3.87), (0.70, 3.93), (0.80, 4.00), (0.90, 4.08), (1.00, 4.18)]


def clamp(v, lo, hi):
    return lo if v < lo else hi if v > hi else v


def ocv(soc):
    soc = clamp(soc, 0.0, 1.0)
    for (s0, v0), (s1, v1) in zip(OCV, OCV[1:]):
        if soc <= s1:
            return v0 + (v1 - v0) * (soc - s0) / (s1 - s0)
    return OCV[-1][1]


def qmul(a, b):
    aw, ax, ay, az = a
    bw, bx, by, bz = b
    return (aw * bw - ax * bx - ay * by - az * bz,
            aw * bx + ax * bw + ay * bz - az * by,
            aw * by - ax * bz + ay * bw + az * bx,
            aw * bz + ax * by - ay * bx + az * bw)


def normalised(q):
    n = math.sqrt(sum(c * c for c in q))
    return tuple(c / n for c in q)


def euler(q):
    """Pitch (about X, nose up), roll (about Y) and yaw (about Z) in degrees; the attitude
    is yaw, then pitch, then roll, each about the body's own axis."""
    w, x, y, z = q
    test = w * x + y * z
    pitch = math.asin(clamp(2 * test, -1.0, 1.0))
    roll = math.atan2(2 * (w * y - x * z), 1 - 2 * (x * x + y * y))
    yaw = math.atan2(2 * (w * z - x * y), 1 - 2 * (x * x + z * z))
    return math.degrees(pitch), math.degrees(roll), math.degrees(yaw)


class Noise:
    """Smooth random wobble: white noise through a first-order low-pass."""

    def __init__(self, rng, amplitude, seconds):
        self.rng, self.amplitude, self.k, self.v = rng, amplitude, TICK / seconds, 0.0

    def __call__(self):
        target = self.rng.gauss(0.0, self.amplitude * math.sqrt(2 / self.k))
        self.v += (target - self.v) * self.k
        return self.v


def programme(flight, seconds, rng):
    """The flight as (ticks, manoeuvre, parameters) steps: a fixed start and end around a
    middle repeated until the flight's length is used up."""
    cruise = FLIGHTS[flight]["alt"]
    start = [(3.0, "ground", {}), (12.0, "spoolup", {}), (4.0, "liftoff", {"alt": 1.5})]
    end = [(7.0, "descend", {"alt": 0.4}), (3.0, "touchdown", {}), (9.0, "spooldown", {}),
           (3.0, "ground", {})]
    if flight == "hover":
        middle = [
            (8.0, "fly", {"alt": cruise}),
            (6.0, "fly", {"alt": cruise, "roll": 4.0}),
            (6.0, "fly", {"alt": cruise, "roll": -4.0}),
            (8.0, "fly", {"alt": cruise, "yaw": 22.5}),  # turns nose-in
            (8.0, "fly", {"alt": cruise + 0.5}),
            (8.0, "fly", {"alt": cruise, "yaw": -22.5}),
            (6.0, "fly", {"alt": 4.0, "pitch": -8.0}),
            (6.0, "fly", {"alt": 4.0, "pitch": -5.0, "roll": 8.0, "yaw": 30.0}),
            (6.0, "fly", {"alt": 4.0, "pitch": -8.0}),
            (6.0, "fly", {"alt": 4.0, "pitch": -5.0, "roll": 8.0, "yaw": 30.0}),
            (4.0, "fly", {"alt": 3.0, "pitch": 6.0}),
            (4.0, "fly", {"alt": 3.0, "yaw": 90.0}),  # a slow piro
        ]
    elif flight == "sport":
        middle = [
            (5.0, "fly", {"alt": cruise, "pitch": -10.0}),
            (4.0, "fly", {"alt": cruise, "pitch": -22.0}),  # fast pass
            (4.0, "fly", {"alt": cruise, "pitch": -10.0, "roll": 35.0, "yaw": 45.0}),
            (1.3, "rate", {"x": 280.0}),  # loop
            (3.0, "fly", {"alt": cruise, "pitch": -12.0}),
            (1.0, "rate", {"y": 360.0}),  # roll
            (3.0, "fly", {"alt": cruise, "pitch": -10.0, "roll": -35.0, "yaw": -45.0}),
            (3.0, "fly", {"alt": cruise - 3.0}),
            (0.9, "rate", {"x": -400.0}),  # flip
            (3.0, "fly", {"alt": cruise - 3.0}),
            (2.0, "rate", {"z": 360.0}),  # two piros
            (3.0, "fly", {"alt": cruise}),
            (0.8, "rate", {"y": -450.0}),
            (3.0, "fly", {"alt": cruise, "pitch": -18.0}),
            (4.0, "fly", {"alt": cruise, "pitch": -8.0, "roll": -30.0, "yaw": -45.0}),
        ]
    else:
        middle = [
            (9.0, "fly", {"alt": cruise, "pitch": -10.0}),
            (4.0, "fly", {"alt": cruise, "pitch": -6.0, "roll": 18.0, "yaw": 45.0}),
            (9.0, "fly", {"alt": cruise + 3.0, "pitch": -10.0}),
            (4.0, "fly", {"alt": cruise, "pitch": -6.0, "roll": 18.0, "yaw": 45.0}),
            (6.0, "fly", {"alt": cruise - 4.0}),
        ]
    def ticks(seconds):
        return int(round(seconds / TICK))

    start = [(ticks(s), kind, p) for s, kind, p in start]
    end = [(ticks(s), kind, p) for s, kind, p in end]
    steps = list(start)
    left = ticks(seconds) - sum(n for n, _, _ in start + end)
    i = rng.randrange(len(middle))
    while left > 0:
        s, kind, p = middle[i % len(middle)]
        n = ticks(s * rng.uniform(0.8, 1.25)) if kind == "fly" else ticks(s)
        if kind == "rate" and left < n + ticks(3.0):
            break  # no manoeuvre right before the landing
        n = min(n, left)
        steps.append((n, kind, p))
        left -= n
        i += 1
    if left > 0:
        steps.append((left, "fly", {"alt": cruise}))
    return steps + end


class Flight:
    def __init__(self, flight, seconds, seed, capacity):
        cfg = FLIGHTS[flight]
        self.flight = flight
        self.rng = random.Random(seed)
        rng = self.rng
        self.rpm_set = cfg["rpm"]
        self.bank_fly = cfg["bank"]
        self.capacity = capacity or cfg["capacity"]
        self.used_at_landing = None
        self.steps = programme(flight, seconds, rng)

        self.q = (1.0, 0.0, 0.0, 0.0)
        self.rate = [0.0, 0.0, 0.0]  # body rates, deg/s: X pitch, Y roll, Z yaw
        self.alt = 0.0
        self.vz = 0.0
        self.pos = [0.0, 0.0]  # east, north, metres
        self.vel = [0.0, 0.0]
        self.rpm = 0.0
        self.hold = True
        self.bank = 0
        self.used_mah = 0.0
        self.polarisation = 0.0
        self.fet = 24.0
        self.current = 0.4
        self.volts = 6 * ocv(0.99)
        self.collective = -10.0
        self.sticks = [0.0, 0.0, 0.0]  # elevator, aileron, rudder, -100..100
        self.cell_filtered = ocv(0.99)
        self.antenna = 0

        self.gust = [Noise(rng, 4.0, 0.6) for _ in range(3)]
        self.hand = [Noise(rng, 1.5, 0.25) for _ in range(3)]
        self.tilt = [Noise(rng, 1.2, 2.0) for _ in range(2)]
        self.baro = Noise(rng, 0.08, 0.3)
        self.light = Noise(rng, 4.0, 20.0)
        self.link = Noise(rng, 1.5, 1.0)

    def soc(self):
        return 0.99 - self.used_mah / self.capacity

    def step(self, kind, p, t_in, length):
        rng = self.rng
        # Headspeed: throttle hold, the governor's soft start and a free-wheeling run-down.
        if kind == "spoolup":
            self.hold = False
            self.bank = self.bank_fly
            x = clamp(t_in / length, 0.0, 1.0)
            self.rpm = self.rpm_set * x * x * (3 - 2 * x)
        elif kind in ("spooldown", "ground"):
            self.hold = True
            self.bank = 0
            self.rpm *= math.exp(-TICK / 2.5)
            if self.rpm < 60.0:
                self.rpm = 0.0
        if not self.hold and kind != "spoolup":
            load = abs(self.collective) / 40.0 + sum(abs(r) for r in self.rate) / 900.0
            self.rpm += (self.rpm_set * (1.0 - 0.012 * load) - self.rpm) * 0.2

        pitch, roll, _ = euler(self.q)
        up_z = 1 - 2 * (self.q[1] ** 2 + self.q[2] ** 2)

        # The pilot: attitude and height held by hand, manoeuvres flown on the rates.
        airborne = kind in ("liftoff", "fly", "rate", "descend")
        if kind == "rate":
            cmd = [p.get("x", 0.0), p.get("y", 0.0), p.get("z", 0.0)]
            alt_target = None
        elif airborne:
            cmd = [clamp(3.5 * (p.get("pitch", 0.0) - pitch), -150.0, 150.0),
                   clamp(3.5 * (p.get("roll", 0.0) - roll), -150.0, 150.0),
                   p.get("yaw", 0.0)]
            alt_target = p.get("alt", self.alt)
            if kind == "liftoff":
                alt_target *= clamp(t_in / 2.5, 0.0, 1.0)
            elif kind == "descend":
                alt_target = max(p["alt"], self.alt - 0.35 * TICK * 40)
        else:
            cmd = [-2.0 * pitch, -2.0 * roll, 0.0]
            alt_target = None
        for i in range(3):
            stick = clamp(cmd[i] / (500.0 if i == 2 else 400.0) * 100.0 + self.hand[i](), -100, 100)
            self.sticks[i] = stick
            wanted = stick / 100.0 * (500.0 if i == 2 else 400.0)
            if airborne:
                wanted += self.gust[i]() * (self.rpm / self.rpm_set)
            self.rate[i] += (wanted - self.rate[i]) * (TICK / 0.08)
            if not airborne and kind != "touchdown":
                self.rate[i] *= 0.5

        hover_coll = 42.0
        if kind == "rate":
            self.collective = hover_coll * (1.0 if up_z >= 0 else -1.0) * 1.3
        elif alt_target is not None:
            sign = 1.0 if up_z >= 0 else -1.0
            self.collective = clamp(sign * hover_coll / max(abs(up_z), 0.35)
                                    + 9.0 * (alt_target - self.alt) - 7.0 * self.vz, -100.0, 100.0)
        elif kind == "touchdown":
            self.collective += (-8.0 - self.collective) * 0.05
        else:
            self.collective += (-10.0 - self.collective) * 0.1

        # Attitude: the body rates turn the quaternion in the body frame.
        wx, wy, wz = (math.radians(r) * TICK for r in self.rate)
        angle = math.sqrt(wx * wx + wy * wy + wz * wz)
        if angle > 1e-12:
            s = math.sin(angle / 2) / angle
            self.q = normalised(qmul(self.q, (math.cos(angle / 2), wx * s, wy * s, wz * s)))
        if not airborne and self.alt <= 0.0:
            # Resting on the skids: level, heading kept.
            _, _, yaw = euler(self.q)
            half = math.radians(yaw) / 2
            self.q = (math.cos(half), 0.0, 0.0, math.sin(half))

        # Height and ground track from the rotor's thrust.
        w, x, y, z = self.q
        thrust = G * (self.collective / hover_coll) * (self.rpm / self.rpm_set) ** 2
        up = (2 * (x * z + w * y), 2 * (y * z - w * x), 1 - 2 * (x * x + y * y))
        az = thrust * up[2] - G - 0.6 * self.vz
        self.vz += az * TICK
        self.alt += self.vz * TICK
        if self.alt <= 0.0:
            self.alt, self.vz = 0.0, max(self.vz, 0.0)
        for i in range(2):
            a = thrust * up[i] - 0.35 * self.vel[i] if self.alt > 0.0 else -self.vel[i] / TICK
            self.vel[i] += a * TICK
            self.pos[i] += self.vel[i] * TICK

        # The pack: load current from the rotor's power, sag from its resistance.
        spin = self.rpm / self.rpm_set
        work = 0.35 + 0.65 * (abs(self.collective) / hover_coll) ** 1.5
        speed = math.hypot(self.vel[0], self.vel[1])
        watts = (265.0 * (self.rpm_set / 2350.0) ** 1.5 * spin ** 3 * work
                 + (0.4 * (abs(self.rate[0]) + abs(self.rate[1])) + 0.15 * abs(self.rate[2])) * spin
                 + 4.0 * speed * spin)
        self.current = 0.4 + watts / max(self.volts, 15.0) + abs(rng.gauss(0.0, 0.15 * spin))
        self.used_mah += self.current * TICK / 3.6
        self.polarisation += (self.current * 0.015 - self.polarisation) * (TICK / 20.0)
        resistance = 0.035 * (1.0 + 0.6 * (1.0 - self.soc()))
        self.volts = 6 * ocv(self.soc()) - self.current * resistance - self.polarisation
        self.fet += (24.0 + 0.55 * self.current + 8.0 * spin - self.fet) * (TICK / 45.0)
        # The ESC warns while the loaded cells stay below 3.5 V for a moment.
        self.cell_filtered += (self.volts / 6 - self.cell_filtered) * (TICK / 2.0)
        return airborne

    def low_battery(self):
        return self.cell_filtered < 3.5


def write_log(flight, seconds, seed, capacity=None):
    f = Flight(flight, seconds, seed, capacity)
    rng = f.rng
    out = bytearray()

    def record(kind, ms, payload):
        out.extend(struct.pack("<BBI", len(payload), kind, ms))
        out.extend(payload)

    def pct16(v):
        return int(clamp(round(v * 163.84), -32768, 32767))

    def pct_channel(v):
        return int(clamp(round(v * 327.68), -32768, 32767))

    steps = []
    for length, kind, p in f.steps:
        steps.extend([(kind, p, i * TICK, length * TICK) for i in range(length)])

    lat0, lon0, msl = 47.3971234, 8.5491567, 412.0
    heading = 0
    last_ms = 0
    for tick, (kind, p, t_in, length) in enumerate(steps):
        ms = tick * 20
        last_ms = ms
        if kind == "descend" and f.used_at_landing is None:
            f.used_at_landing = f.used_mah
        f.step(kind, p, t_in, length)
        spin = f.rpm / f.rpm_set
        pitch, roll, _ = euler(f.q)
        dist = math.hypot(f.pos[0], f.pos[1])

        if tick % 2 == 0:
            words = [0] * 35
            words[0] = pct16(f.tilt[0]() * 3)  # the radio's own tilt sensor
            words[1] = pct16(f.tilt[1]() * 3)
            words[2] = pct16(f.collective)  # Stick LV
            words[3] = pct16(f.sticks[2])  # Stick LH: rudder
            words[4] = pct16(f.sticks[0])  # Stick RV: elevator
            words[5] = pct16(f.sticks[1])  # Stick RH: aileron
            mode = {0: -100, 1: 0, 2: 100}[f.bank]
            words[6] = pct16(mode)  # Switch LD: flight mode
            words[7] = pct16(100 if f.hold else -100)  # Switch LU: throttle hold
            for i in range(8, 14):
                words[i] = pct16(100 if i == 11 else -100)
            words[14] = pct16(40)  # Pot TL: gyro gain
            words[15] = pct16(-20)
            words[16] = pct16(0)
            words[17] = pct16(65)
            words[18] = pct16(clamp(68 + f.light(), 0, 100))  # Light Sensor
            throttle = -100.0 if f.hold else (70.0 if f.bank == 0 else 82.0)
            channels = [f.sticks[1], f.sticks[0], throttle, f.sticks[2], 60.0, f.collective,
                        float(mode), 100.0 if f.hold else -100.0]
            channels += [0.0] * (16 - len(channels))
            for i, v in enumerate(channels):
                words[19 + i] = pct_channel(v)
            record(1, ms, struct.pack("<35h", *words))

        quat = [int(clamp(round(c * 16384), -32768, 32767)) for c in f.q]
        vib = 4 + 12 * spin ** 2 + 24 * math.exp(-((f.rpm - 900.0) / 170.0) ** 2)
        vib += 0.02 * sum(abs(r) for r in f.rate) + abs(rng.gauss(0.0, 1.2))
        fc_alarm = 1 if f.low_battery() else 0
        record(13, ms, struct.pack("<BBBHhhhhh", f.bank & 7, int(clamp(vib, 0, 100)), fc_alarm,
                                   int(round(f.rpm + rng.gauss(0.0, 4.0) * spin)),
                                   int(round((f.alt + f.baro()) * 10)), *quat))

        if tick % 5 == 0:
            servo = 0.6 + 0.01 * sum(abs(r) for r in f.rate) + abs(rng.gauss(0.0, 0.08))
            throttle_in = 0 if f.hold else (70 if f.bank == 0 else 82)
            out_pct = 0 if f.hold else spin * (46.0 + 0.8 * f.current) * (24.0 / f.volts)
            esc_alarm = 1 if f.low_battery() else 0
            record(11, ms, struct.pack(
                "<BHHHHHHHBBB", 0,
                int(round((f.volts + rng.gauss(0.0, 0.015)) * 100)),
                int(round(f.current * 100)),
                int(round((8.0 - 0.05 * servo) * 10)),
                int(round(min(servo, 4.0) * 10)),
                int(round(f.fet * 10)),
                int(f.used_mah),
                int(round(f.rpm + rng.gauss(0.0, 6.0) * spin)),
                throttle_in, int(clamp(out_pct, 0, 100)), esc_alarm))

        if tick % 10 == 0:
            signal = int(clamp(100 - dist / 9.0 + f.link(), 40, 100))
            if rng.random() < 0.015:
                f.antenna ^= 1
            record(10, ms, struct.pack("<BHBBBBxx", 0, 7980 + rng.randint(0, 40), 0,
                                       int(clamp(signal - 2 + rng.randint(-1, 1), 0, 100)), 100,
                                       f.antenna))
            record(2, ms, struct.pack("<B", signal))
            speed = math.hypot(f.vel[0], f.vel[1]) * 3.6
            if speed > 2.0:
                heading = int(math.degrees(math.atan2(f.vel[0], f.vel[1]))) % 360
            lat = lat0 + f.pos[1] / 111320.0
            lon = lon0 + f.pos[0] / (111320.0 * math.cos(math.radians(lat0)))
            record(12, ms, struct.pack("<BiiHhhB", 0, int(round(lon * 1e7)), int(round(lat * 1e7)),
                                       int(round(speed)), int(round((msl + f.alt) * 10)), heading,
                                       12 + (tick // 1500) % 3))
    return bytes(out), f.used_at_landing


def make_log(flight, seconds, seed):
    if flight != "endurance":
        return write_log(flight, seconds, seed)[0]
    # Flown until the pack is nearly empty: the pack is sized from a first flight so
    # that the low-voltage warnings start in the last part of the circuits.
    _, used = write_log(flight, seconds, seed, capacity=100000)
    capacity = int(round(used / 0.80 / 100.0)) * 100
    return write_log(flight, seconds, seed, capacity)[0]


def main(argv):
    parser = argparse.ArgumentParser(
        description="Writes a made-up, realistic Kelo flight log of a 450-size helicopter.")
    parser.add_argument("--flight", choices=sorted(FLIGHTS), default="hover")
    parser.add_argument("--seconds", type=int, help="length of the flight, 60 to 3600 "
                        "(default: 150 hover, 300 sport, 480 endurance)")
    parser.add_argument("--seed", type=int, default=1, help="another seed, another flight")
    parser.add_argument("output", help="the log file to write")
    args = parser.parse_args(argv)
    seconds = args.seconds if args.seconds is not None else FLIGHTS[args.flight]["seconds"]
    if not 60 <= seconds <= 3600:
        parser.error("--seconds must be from 60 to 3600")

    data = make_log(args.flight, seconds, args.seed)
    # Written to a temporary file first, so a failed run never leaves half a log behind.
    folder = os.path.dirname(os.path.abspath(args.output))
    try:
        fd, tmp = tempfile.mkstemp(prefix=".flight-", dir=folder)
    except OSError as e:
        sys.exit("make_flight_log.py: cannot write into %s: %s" % (folder, e.strerror))
    try:
        with os.fdopen(fd, "wb") as out:
            out.write(data)
        os.chmod(tmp, 0o644)
        os.replace(tmp, args.output)
    except OSError as e:
        os.unlink(tmp)
        sys.exit("make_flight_log.py: cannot write %s: %s" % (args.output, e.strerror))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
