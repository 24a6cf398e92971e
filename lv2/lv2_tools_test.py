#!/usr/bin/python3
"""lv2_tools_test.py CHECK LV2_PATH ORQ PLUGINS_DIR WORK_DIR: the bundle under Debian's LV2 tools.

CHECK is one of
  lv2apply-matches-orq  lv2apply of each plug-in gives orq process's samples (same file, same
                        settings, also settings beyond the ranges) once the latency is skipped
  lv2info-ports         lv2info lists every port of every plug-in, each control port with its range,
                        the audio ports in the main groups with their channels, Tessaline's
                        sliders in their arrays' groups, and the compressor's presets:
                        compressor_plax's factory programs
  turtle-validates      sord_validate with the LV2 schemas from lv2-dev finds no error
  jalv-runs             each plug-in runs in jalv (the console host) on a JACK server of the
                        check's own (the dummy driver), reports its latency and exits cleanly
"""

import glob
import os
import re
import subprocess
import sys
import time
import warnings

import numpy as np
import scipy.io.wavfile as wavfile

PLUGINS = {
    # symbol: (deliverable, [(port settings for lv2apply, orq --set settings)]). orq refuses a
    # value beyond a range; lv2apply sends it, and the plug-in clamps it to the range's end.
    "pressane": ("pressane_dx.so", [
        ({"desgain": "6", "comp": "0.5", "headroom": "-3"}, ["DesGain=6", "Comp=0.5", "HeadRoom=-3"]),
        ({"desgain": "1e30", "headroom": "-40"}, ["DesGain=12", "HeadRoom=-9"]),
    ]),
    "compressor": ("compressor_dx.so", [
        ({"nrofbands": "4", "band_gain_2": "3", "output": "-2", "softclip": "1"},
         ["NrOfBands=4", "BandGain[1]=3", "Output=-2", "SoftClip=1"]),
        ({"output": "1e9", "band_gain_1": "-1e9"}, ["Output=12", "BandGain[0]=-12"]),
    ]),
    "tessaline": ("tessaline_dx.so", [
        ({}, []), ({"morph": "1.5"}, ["morph=1.5"]),
        ({"slider_5": "6", "slider_18": "-4.5", "match_slider_5": "-9"},
         ["sl[4]=6", "sl[17]=-4.5", "SlMatch[4]=-9"]),
        ({"match": "1", "match_slider_12": "7"}, ["match=1", "SlMatch[11]=7"]),
        ({"slider_1": "1e30", "slider_30": "-40"}, ["sl[0]=15", "sl[29]=-15"]),
    ]),
    "brisquet": ("brisquet_dx.so", [
        ({"mix": "0.7", "hpf": "4000", "sec": "0.6"}, ["mix=0.7", "hpf=4000", "sec=0.6"]),
        ({"igain": "1e30", "den": "-50"}, ["igain=6", "den=0"]),
    ]),
    "ombrel": ("ombrel_dx.so", [({}, []), ({"low_band": "1"}, ["bLog=1"])]),
    "lunavis": ("lunavis_dx.so", [({}, []), ({"mono": "1"}, ["mono=1"])]),
}


# The mono variants, each with a mono file: (port settings, orq --set settings).
MONO_CASES = {
    "pressane": ({"desgain": "6"}, ["DesGain=6"]),
    "compressor": ({"band_gain_1": "4", "output": "-1"}, ["BandGain[0]=4", "Output=-1"]),
    "tessaline": ({"slider_20": "5"}, ["sl[19]=5"]),
    "brisquet": ({"mix": "0.7"}, ["mix=0.7"]),
    "ombrel": ({}, []),
}


def uri(symbol):
    return "urn:tarvelle:lv2:" + symbol


def test_signal(path, channels=2):
    rate = 44100
    t = np.arange(rate // 2) / rate
    rng = np.random.default_rng(1)
    swell = np.linspace(0.2, 1.2, t.size)
    left = (0.6 * np.sin(2 * np.pi * 220 * t) + 0.2 * rng.standard_normal(t.size)) * swell
    right = (0.5 * np.sin(2 * np.pi * 330 * t + 1) + 0.2 * rng.standard_normal(t.size)) * swell
    frames = np.stack([left, right], 1) if channels == 2 else left
    wavfile.write(path, rate, frames.astype(np.float32))


def read(path):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        return wavfile.read(path)[1]


def run(command, env=None):
    result = subprocess.run(command, capture_output=True, text=True, env=env)
    if result.returncode != 0:
        raise AssertionError(f"{' '.join(command)} failed ({result.returncode}):\n{result.stderr}")
    return result.stdout


def latency_of(orq_output):
    m = re.search(r"latency: (\d+) frames", orq_output)
    if not m:
        raise AssertionError("orq printed no latency:\n" + orq_output)
    return int(m.group(1))


def lv2apply_matches_orq(env, orq, plugins_dir, work):
    stereo = os.path.join(work, "in.wav")
    mono = os.path.join(work, "in_mono.wav")
    test_signal(stereo)
    test_signal(mono, channels=1)
    runs = [(symbol, library, stereo, number, ports, settings)
            for symbol, (library, cases) in PLUGINS.items()
            for number, (ports, settings) in enumerate(cases)]
    runs += [(symbol + "_mono", PLUGINS[symbol][0], mono, 0, ports, settings)
             for symbol, (ports, settings) in MONO_CASES.items()]
    failures = []
    for variant, library, source, number, ports, settings in runs:
        lv2_out = os.path.join(work, f"{variant}_{number}_lv2.wav")
        orq_out = os.path.join(work, f"{variant}_{number}_orq.wav")
        command = ["lv2apply", "-i", source, "-o", lv2_out]
        for port, value in ports.items():
            command += ["-c", port, value]
        run(command + [uri(variant)], env)
        command = [orq, "process", os.path.join(plugins_dir, library), source, orq_out,
                   "--format", "f32"]
        for s in settings:
            command += ["--set", s]
        latency = latency_of(run(command))
        a, b = read(lv2_out), read(orq_out)
        kept = len(b) - latency
        if a.shape != b.shape or not np.array_equal(a[latency:], b[:kept]):
            diff = np.abs(a[latency:] - b[:kept]).max() if a.shape == b.shape else "shape"
            failures.append(f"{variant} {ports}: lv2apply differs from orq process after "
                            f"{latency} frames (largest difference {diff})")
        else:
            print(f"{variant} {ports}: {kept} frames equal after the latency of {latency}")
    return failures


def factory_program_names(orq, plugins_dir):
    listed = run([orq, "presets", os.path.join(plugins_dir, "compressor_plax.so")])
    return re.findall(r"^[ *] \d+: (.*)$", listed, re.M)


def listed_presets(info):
    section = re.search(r"\tPresets: \n((?:\t +\S.*\n)*)", info)
    return [line.strip() for line in section.group(1).splitlines()] if section else []


def port_groups(variant, blocks):
    """The groups lv2info shows: every audio port in the variant's main input or output group,
    designated left and right (center for a mono variant) in port order; Tessaline's slider ports
    in their array's group."""
    failures = []
    channels = ["center"] if variant.endswith("_mono") else ["left", "right"]
    designations = {"main_in": [], "main_out": []}
    for block in blocks:
        symbol = re.search(r"Symbol:\s+(\S+)", block).group(1)
        group = re.search(r"Group:\s+(\S+)", block)
        group = group.group(1) if group else ""
        if "AudioPort" in block:
            expected = "main_in" if "InputPort" in block else "main_out"
            if group != f"{uri(variant)}#{expected}":
                failures.append(f"{variant}: audio port {symbol} is in the group '{group}'")
            designation = re.search(r"Designation:\s+\S+#(\w+)", block)
            designations[expected].append(designation.group(1) if designation else "")
        elif variant.startswith("tessaline"):
            array = re.match(r"(match_)?slider_\d+$", symbol)
            expected = f"{uri(variant)}#{array.group(1) or ''}sliders" if array else ""
            if group != expected:
                failures.append(f"{variant}: port {symbol} is in the group '{group}', "
                                f"not '{expected}'")
    for group, found in designations.items():
        if found != channels:
            failures.append(f"{variant}: the audio ports of {group} are designated {found}")
    return failures


def lv2info_ports(env, orq, plugins_dir):
    failures = []
    programs = factory_program_names(orq, plugins_dir)
    if len(programs) != 10:
        failures.append(f"orq presets lists {len(programs)} programs of compressor_plax, not 10")
    for symbol in PLUGINS:
        ttl = open(os.path.join(env["LV2_PATH"], "tarvelle.lv2", symbol + ".ttl")).read()
        declared = ttl.count("lv2:index ")
        listed = 0
        for variant in [symbol] + ([symbol + "_mono"] if symbol in MONO_CASES else []):
            info = run(["lv2info", uri(variant)], env)
            blocks = re.split(r"\n\tPort \d+:\n", info)[1:]
            listed += len(blocks)
            for block in blocks:
                name = re.search(r"Symbol:\s+(\S+)", block)
                if "ControlPort" in block and not ("Minimum:" in block and "Maximum:" in block):
                    failures.append(f"{variant}: port {name and name.group(1)} has no range")
                if "ControlPort" in block and "InputPort" in block and "Default:" not in block:
                    failures.append(f"{variant}: port {name and name.group(1)} has no default")
            failures += port_groups(variant, blocks)
            print(f"{variant}: {len(blocks)} ports")
            # lilv hands the presets out in no particular order (the lilv test host checks it).
            presets = listed_presets(info)
            expected = programs if symbol == "compressor" else []
            if sorted(presets) != sorted(expected):
                failures.append(f"{variant}: lv2info lists the presets {presets}, not {expected}")
        if listed != declared:
            failures.append(f"{symbol}: lv2info lists {listed} ports, the Turtle declares {declared}")
    return failures


def turtle_validates(env):
    # The LV2 schema bundles lv2-dev installs (other packages' plug-ins live in the same folder).
    listed = subprocess.run(["dpkg", "-L", "lv2-dev"], capture_output=True, text=True).stdout
    schemas = sorted(p for p in listed.split() if p.startswith("/usr/lib/lv2/") and p.endswith(".ttl"))
    if not schemas:
        return ["lv2-dev lists no schemas under /usr/lib/lv2 (tools/setup installs it)"]
    ours = sorted(glob.glob(os.path.join(env["LV2_PATH"], "tarvelle.lv2", "*.ttl")))
    result = subprocess.run(["sord_validate", *schemas, *ours], capture_output=True, text=True)
    output = result.stdout + result.stderr
    print(output.strip().splitlines()[-1] if output.strip() else "(no output)")
    if result.returncode != 0 or not re.search(r"Found 0 errors", output):
        return ["sord_validate:\n" + output]
    return []


def jalv_runs(env, work):
    server = f"tarvelle_lv2_{os.getpid()}"
    env = dict(env, JACK_DEFAULT_SERVER=server)
    jackd = subprocess.Popen(["jackd", "-n", server, "-d", "dummy", "-r", "44100", "-p", "512"],
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
    failures = []
    try:
        time.sleep(1.5)
        if jackd.poll() is not None:
            return [f"jackd could not start (exit {jackd.returncode})"]
        for symbol in PLUGINS:
            # jalv reads its commands from stdin: after a second of running, print the meters.
            jalv = subprocess.Popen(["jalv", "-x", "-n", f"tv_{symbol}", uri(symbol)],
                                    stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                    stderr=subprocess.STDOUT, text=True, env=env)
            time.sleep(1.0)
            try:
                output, _ = jalv.communicate("monitors\n", timeout=20)
            except subprocess.TimeoutExpired:
                jalv.kill()
                output, _ = jalv.communicate()
                failures.append(f"{symbol}: jalv did not end")
                continue
            latency = re.search(r"latency = (\d+)", output)
            if jalv.returncode != 0 or not latency:
                failures.append(f"{symbol}: jalv exited {jalv.returncode}:\n{output}")
            else:
                print(f"{symbol}: ran in jalv, latency {latency.group(1)}")
    finally:
        jackd.terminate()
        jackd.wait(timeout=10)
    return failures


def main():
    check = sys.argv[1]
    lv2_path, orq, plugins_dir, work = (os.path.abspath(a) for a in sys.argv[2:6])
    os.makedirs(work, exist_ok=True)
    env = dict(os.environ, LV2_PATH=lv2_path)
    if check == "lv2apply-matches-orq":
        failures = lv2apply_matches_orq(env, orq, plugins_dir, work)
    elif check == "lv2info-ports":
        failures = lv2info_ports(env, orq, plugins_dir)
    elif check == "turtle-validates":
        failures = turtle_validates(env)
    elif check == "jalv-runs":
        failures = jalv_runs(env, work)
    else:
        print(f"unknown check {check}", file=sys.stderr)
        return 2
    for f in failures:
        print("FAIL: " + f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
