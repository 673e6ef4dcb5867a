#!/usr/bin/python3
"""cvnhost writing its copy onto the file systems of cards and sticks: exFAT (exfat-fuse on a loop
device) and FAT32 (fusefat on an image), each a fresh image mounted for one case and read back with
other programs (mutagen, ffprobe, ffmpeg, mtools' mdir).

Cases: names that differ only by case or by Unicode normalisation, names longer than the file
system takes, a card that fills up, a card detached during a run, the order of a folder's entries
on disk, and replacing outputs where the file system keeps no modes. Where a file system cannot be
mounted here (no root, FUSE, loop devices or tools) its cases are skipped with the reason; where
neither can, the first line is "SKIP: reason".

    card_filesystems.py --cvnhost PATH [--only CASE] [--fs exfat|fat32]
"""
import argparse
import hashlib
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unicodedata

MUTAGEN_PYTHON = "/usr/bin/python3"


class Failure(Exception):
    pass


def quiet(*command):
    """Runs a tool whose output only matters when it fails."""
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if result.returncode != 0:
        raise OSError("%s: exit %d: %s" % (" ".join(command), result.returncode,
                                             (result.stderr or result.stdout).strip()))
    return result.stdout


def mounted(folder):
    """Whether a file system is mounted at `folder`, also one whose daemon has died."""
    with open("/proc/self/mounts") as f:
        points = [line.split()[1].encode().decode("unicode_escape") for line in f]
    return os.path.realpath(folder) in points


def held(device):
    """Whether a process has `device` open."""
    for fd_folder in ("/proc/%s/fd" % pid for pid in os.listdir("/proc") if pid.isdigit()):
        try:
            if any(os.readlink(os.path.join(fd_folder, fd)) == device for fd in os.listdir(fd_folder)):
                return True
        except OSError:
            pass
    return False


class Card:
    """An image of `megabytes` formatted as `kind` and mounted at `path` (made beside the image);
    every mount and loop device it makes is undone by close(), also after a failure."""

    def __init__(self, kind, path, megabytes):
        self.kind = kind
        self.path = path
        self.image = path + ".img"
        self.loop = None
        self.daemon = None
        os.makedirs(path)
        with open(self.image, "wb") as f:
            f.truncate(megabytes << 20)
        if kind == "exfat":
            quiet("mkfs.exfat", self.image)
        else:
            quiet("mkfs.vfat", "-F", "32", self.image)
        try:
            self.mount()
        except OSError:
            self.close()
            raise
        self.unicode_names = self._takes("\u00e9")  # fusefat refuses every name outside ASCII

    def mount(self):
        if self.kind == "exfat":
            self.loop = quiet("losetup", "-f", "--show", self.image).strip()
            quiet("mount.exfat-fuse", self.loop, self.path)
        else:
            # In the foreground, so that its end (the image written) can be waited for; it prints a
            # line for each call.
            self.daemon = subprocess.Popen(["fusefat", "-f", "-o", "rw+", self.image, self.path],
                                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.time() + 10
        while not mounted(self.path):
            if time.time() > deadline or (self.daemon and self.daemon.poll() is not None):
                raise OSError("%s did not mount at %s" % (self.kind, self.path))
            time.sleep(0.02)

    def _takes(self, name):
        probe = os.path.join(self.path, name)
        try:
            open(probe, "wb").close()
            os.remove(probe)
            return True
        except OSError:
            return False

    def detach(self):
        """Pulls the card out under a running program: the folder is the bare mount point at once,
        the file system goes once the last open file on it closes."""
        quiet("umount", "-l", self.path)

    def unmount(self):
        if mounted(self.path):
            if subprocess.run(["fusermount", "-u", self.path], stderr=subprocess.DEVNULL).returncode != 0:
                subprocess.run(["umount", "-l", self.path], stderr=subprocess.DEVNULL)
        if self.daemon is not None:
            try:
                self.daemon.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.daemon.kill()
                self.daemon.wait()
            self.daemon = None
        if self.loop is not None:
            # A lazily detached file system lets go of the device once its daemon has ended, after
            # the last file open on it closed.
            deadline = time.time() + 10
            while held(self.loop) and time.time() < deadline:
                time.sleep(0.05)
            subprocess.run(["losetup", "-d", self.loop], stderr=subprocess.DEVNULL)
            self.loop = None

    def entries(self, folder):
        """The names in `folder` (relative to the card) in the order they stand on the card: read by
        mdir from the FAT image, or listed by exfat-fuse just mounted (it lists the entries it read
        in their order, but puts those it made since before them)."""
        self.unmount()
        try:
            if self.kind == "fat32":
                listing = subprocess.run(["mdir", "-b", "-i", self.image, "::/" + folder], stdout=subprocess.PIPE,
                                         stderr=subprocess.PIPE, text=True, check=True,
                                         env=dict(os.environ, MTOOLS_SKIP_CHECK="1")).stdout
                return [line.rsplit("/", 1)[-1] for line in listing.splitlines() if line.strip()]
        finally:
            self.mount()
        return os.listdir(os.path.join(self.path, folder))

    def close(self):
        self.unmount()


TOOLS = {"exfat": ("mkfs.exfat", "mount.exfat-fuse", "losetup", "umount"),
         "fat32": ("mkfs.vfat", "fusefat", "fusermount", "mdir")}


def cannot_mount(kind):
    """Why a card of `kind` cannot be mounted here, or None where a trial image mounts."""
    missing = [tool for tool in TOOLS[kind] if not shutil.which(tool)]
    if os.geteuid() != 0:
        return "mounting a card image needs root"
    if not os.path.exists("/dev/fuse"):
        return "there is no /dev/fuse"
    if missing:
        return "%s not installed" % ", ".join(missing)
    trial = tempfile.mkdtemp(prefix="card-trial-")
    card = None
    try:
        card = Card(kind, os.path.join(trial, "card"), 34)
        return None
    except OSError as error:
        return "%s cannot be mounted here: %s" % (kind, error)
    finally:
        if card:
            card.close()
        shutil.rmtree(trial, ignore_errors=True)


def which_cards():
    """Each file system: None where its cases can run here, else why not."""
    missing = [p for p in ("ffmpeg", "ffprobe") if not shutil.which(p)]
    common = None
    if missing:
        common = "%s not installed" % " and ".join(missing)
    elif subprocess.run([MUTAGEN_PYTHON, "-c", "import mutagen"], stderr=subprocess.DEVNULL).returncode != 0:
        common = "mutagen is not installed for %s" % MUTAGEN_PYTHON
    return {kind: common or cannot_mount(kind) for kind in TOOLS}


# Inputs and what is read back.
def flac(path, seconds, frequency=440, **tags):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    command = ["ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
               "sine=frequency=%d:duration=%g" % (frequency, seconds), "-ac", "2"]
    for key, value in tags.items():
        command += ["-metadata", "%s=%s" % (key, value)]
    subprocess.run(command + [path], check=True)


def copies(source, paths):
    """`source` copied to each path, each titled after its file name."""
    for path in paths:
        os.makedirs(os.path.dirname(path), exist_ok=True)
        shutil.copyfile(source, path)
    retitle = ("import mutagen.flac, os, sys\n"
               "for p in sys.argv[1:]:\n"
               "    f = mutagen.flac.FLAC(p); f['TITLE'] = os.path.basename(p)[:-5]; f.save()\n")
    subprocess.run([MUTAGEN_PYTHON, "-c", retitle] + list(paths), check=True)


def id3(path):
    """The ID3v2 texts mutagen reads, and the bitrate of the audio."""
    read = ("import json, sys, mutagen.mp3\n"
            "f = mutagen.mp3.MP3(sys.argv[1])\n"
            "print(json.dumps({'tags': {k: str(v) for k, v in (f.tags or {}).items() if k[0] == 'T'},"
            " 'bitrate': f.info.bitrate}))\n")
    result = subprocess.run([MUTAGEN_PYTHON, "-c", read, path], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            text=True)
    if result.returncode != 0:
        raise Failure("mutagen cannot read %s: %s" % (path, result.stderr.strip()[-300:]))
    return json.loads(result.stdout)


def decodes_whole(path, seconds):
    """ffmpeg decodes `path` without a word of error, to `seconds` of audio."""
    result = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i", path, "-f", "null", "-"],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if result.returncode != 0 or result.stderr.strip():
        raise Failure("%s does not decode cleanly: %s" % (path, result.stderr.strip()[-300:]))
    length = float(subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format=duration", "-of",
                                   "default=nw=1:nk=1", path], stdout=subprocess.PIPE, text=True).stdout)
    if abs(length - seconds) > 0.06:
        raise Failure("%s decodes to %.3f s, not %g s" % (path, length, seconds))


def snapshot(folder):
    """Every file below `folder`: its bytes' digest and its time."""
    files = {}
    for base, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(base, name)
            with open(path, "rb") as f:
                files[os.path.relpath(path, folder)] = (hashlib.md5(f.read()).hexdigest(), os.stat(path).st_mtime_ns)
    return files


def excerpt(text, lines=8):
    """The first and last lines of what a program said."""
    said = text.strip().splitlines()
    return "\n".join(said if len(said) <= 2 * lines else said[:lines] + ["..."] + said[-lines:])


def nfc(text):
    return unicodedata.normalize("NFC", text)


class Run:
    """One cvnhost run and what it said: exit, standard error, the report's line for each track."""

    def __init__(self, cvnhost, work, arguments, timeout=60):
        report = os.path.join(work, "report.jsonl")
        if os.path.exists(report):
            os.remove(report)
        self.command = [cvnhost, "encode", "--report", report] + arguments
        result = subprocess.run(self.command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout,
                                env=dict(os.environ, CVN_REGISTRY=os.path.join(work, "registry.reg")))
        self.exit = result.returncode
        self.errors = result.stderr.decode(errors="replace")
        self.tracks = []
        if os.path.exists(report):
            with open(report) as f:
                self.tracks = [json.loads(line) for line in f if line.strip()]

    def said(self):
        return "`%s`: exit %d\n%s" % (" ".join(self.command[1:]), self.exit, excerpt(self.errors))

    def expect(self, exit_status=0, *phrases):
        if self.exit != exit_status:
            raise Failure("exit %d, not %d, from %s" % (self.exit, exit_status, self.said()))
        for phrase in phrases:
            if phrase not in self.errors:
                raise Failure("no %r in what %s" % (phrase, self.said()))
        return self

    def statuses(self):
        return [track["status"] for track in self.tracks]


def nothing_done(cvnhost, card, work, arguments, what):
    """A run that must find everything up to date: exit 0, every track skipped, the card unchanged."""
    before = snapshot(card.path)
    run = Run(cvnhost, work, arguments).expect(0)
    if set(run.statuses()) != {"skipped"} or snapshot(card.path) != before:
        raise Failure("%s did something: %s\n%s" % (what, run.statuses(), run.said()))


# The cases, each a function of a mounted card, a work folder and the program.
CLASHING = [  # disc, track, title, seconds, the output's name; the first of each name ends last
    (1, 1, "Intro", 5, "01 Intro.mp3"),
    (1, 2, "Caf\u00e9", 4, "02 Caf\u00e9.mp3"),
    (2, 1, "intro", 2, "01 intro (2).mp3"),
    (2, 2, "Cafe\u0301", 2.5, "02 Caf\u00e9 (2).mp3"),  # NFD: the same name as the NFC one
    (3, 1, "INTRO", 3, "01 INTRO (3).mp3"),
]
ASCII_ONLY = "ASCII names only, the driver takes no others"


def case_clash(cvnhost, card, work):
    """Names equal under case folding and normalisation are one name: later tracks get (2), (3)."""
    rows = [row for row in CLASHING if card.unicode_names or row[2].isascii()]
    lib = os.path.join(work, "lib")
    for disc, track, title, seconds, _ in rows:
        flac(os.path.join(lib, "d%dt%d.flac" % (disc, track)), seconds, 300 + 100 * disc + 10 * track,
             title=title, album="Album", disc="%d/3" % disc, track=track)
    arguments = ["--jobs", "3", "--name", "%album%/%track% %title%", "--out-dir", card.path, lib]
    Run(cvnhost, work, arguments).expect(0)
    names = sorted(nfc(n) for n in os.listdir(os.path.join(card.path, "Album")))
    if names != sorted(nfc(row[4]) for row in rows):
        raise Failure("the folder holds %s, not %s" % (names, sorted(row[4] for row in rows)))
    on_card = {nfc(n): n for n in os.listdir(os.path.join(card.path, "Album"))}
    for disc, track, title, seconds, name in rows:
        path = os.path.join(card.path, "Album", on_card[nfc(name)])
        tags = id3(path)["tags"]
        if nfc(tags.get("TIT2", "")) != nfc(title) or not tags.get("TPOS", "").startswith(str(disc)):
            raise Failure("%s holds title %r of disc %r, not %r of disc %d" % (
                name, tags.get("TIT2"), tags.get("TPOS"), title, disc))
        decodes_whole(path, seconds)
    nothing_done(cvnhost, card, work, arguments, "a second run")
    nothing_done(cvnhost, card, work, ["--update"] + arguments, "an --update run")
    return None if card.unicode_names else ASCII_ONLY


def long_names(cvnhost, card, work):
    """A name of 255 UTF-16 units or fewer is written whole however many bytes it takes; a longer one
    is shortened to fit, the extension kept; and a second run finds both."""
    if card.unicode_names:
        whole = ("\u591c\u660e\u3051\u306e\u8857\u3067\u541b\u3068\u51fa\u4f1a\u3063\u305f" * 8)[:94] + " (Live)"
        assert len(whole) == 101 and len(whole.encode()) == 289
        too_long = ("\u6625\u306e\u6d77\u3072\u306d\u3082\u3059\u306e\u305f\u308a\u306e\u305f\u308a\u304b\u306a"
                    * 20)[:300]
    else:
        whole, too_long = "w" * 251, "x" * 300
    lib = os.path.join(work, "lib")
    flac(os.path.join(lib, "a.flac"), 2, 440, title=whole)
    flac(os.path.join(lib, "b.flac"), 3, 660, title=too_long)
    arguments = ["--name", "%title%", "--out-dir", card.path, lib]
    Run(cvnhost, work, arguments).expect(0)
    names = os.listdir(card.path)
    if nfc(whole + ".mp3") not in [nfc(n) for n in names]:
        raise Failure("no output named with the whole %d-character title among %s" % (len(whole), names))
    others = [n for n in names if nfc(n) != nfc(whole + ".mp3")]
    if len(others) != 1:
        raise Failure("the card holds %s" % others)
    short = others[0]
    units = len(short.encode("utf-16-le")) // 2
    if not short.endswith(".mp3") or not too_long.startswith(short[:-4]) or units > 255 or units < 100:
        raise Failure("the %d-character title became %r (%d UTF-16 units)" % (len(too_long), short, units))
    if id3(os.path.join(card.path, short))["tags"].get("TIT2") != too_long:
        raise Failure("the shortened name's file does not carry the whole title")
    decodes_whole(os.path.join(card.path, short), 3)
    nothing_done(cvnhost, card, work, arguments, "a second run")
    nothing_done(cvnhost, card, work, ["--update"] + arguments, "an --update run")
    return None if card.unicode_names else ASCII_ONLY


def full_card(cvnhost, card, work):
    """More tracks than fit: the run stops at the full card, says so, and leaves only whole files; an
    output that was there stays as it was."""
    lib = os.path.join(work, "lib")
    tone = os.path.join(work, "tone.flac")
    flac(tone, 10, 523)
    copies(tone, [os.path.join(lib, "Album", "%02d.flac" % 24)])
    Run(cvnhost, work, ["--out-dir", card.path, lib]).expect(0)
    existing = os.path.join(card.path, "Album", "24.mp3")
    with open(existing, "rb") as f:
        before = f.read()
    copies(tone, [os.path.join(lib, "Album", "%02d.flac" % n) for n in range(1, 24)])
    run = Run(cvnhost, work, ["--overwrite", "--jobs", "1", "-b", "320", "--out-dir", card.path, lib])
    run.expect(1, "no space left on", "MB free")
    statuses = run.statuses()
    if "failed" not in statuses or statuses[0] != "encoded" or any(
            s != "not-started" for s in statuses[statuses.index("failed") + 1:]):
        raise Failure("the tracks' statuses are %s, not encoded ones, a failure and then not started ones"
                      % statuses)
    with open(existing, "rb") as f:
        if f.read() != before:
            raise Failure("the output that was there changed")
    left = os.listdir(os.path.join(card.path, "Album"))
    if any(not n.endswith(".mp3") for n in left):
        raise Failure("the run left %s on the full card" % [n for n in left if not n.endswith(".mp3")])
    for name in left:
        decodes_whole(os.path.join(card.path, "Album", name), 10)
    if len(left) < 5:
        raise Failure("only %s were written" % left)


# The options of the run the card is pulled from, and when: as the first output takes its place (the
# run stopped for the moment of pulling it), or while the second is being written.
DETACHED = [([], "between"), ([], "during"), (["--mounted"], "between"), (["--mounted"], "during")]
PULLED_WHEN = {"between": lambda names: any(n.endswith(".mp3") for n in names),
               "during": lambda names: {n.endswith(".mp3") for n in names} == {True, False}}


def detached_card(cvnhost, card, work):
    """A card pulled out during a run: the run stops writing there and writes nothing onto the bare
    mount point; a --mounted run against the bare folder is refused."""
    lib = os.path.join(work, "lib")
    tone = os.path.join(work, "tone.flac")
    flac(tone, 20, 587)
    copies(tone, [os.path.join(lib, "Album", "%02d.flac" % n) for n in range(1, 11)])
    folder = os.path.join(card.path, "Album")
    for options, moment in DETACHED:
        shutil.rmtree(folder, ignore_errors=True)
        command = [cvnhost, "encode", "--jobs", "1"] + options + ["--out-dir", card.path, lib]
        process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                   env=dict(os.environ, CVN_REGISTRY=os.path.join(work, "registry.reg")))
        try:
            deadline = time.time() + 30
            while not (os.path.isdir(folder) and PULLED_WHEN[moment](os.listdir(folder))):
                if process.poll() is not None or time.time() > deadline:
                    raise Failure("no output appeared on the card (exit %s)" % process.poll())
                time.sleep(0.002)
            if moment == "between":
                process.send_signal(signal.SIGSTOP)
            card.detach()
            process.send_signal(signal.SIGCONT)
            _, errors = process.communicate(timeout=60)
        finally:
            if process.poll() is None:
                process.kill()
                process.wait()
        errors = errors.decode(errors="replace")
        said = "`%s`: exit %d\n%s" % (" ".join(command[1:]), process.returncode, excerpt(errors))
        written = sorted(os.path.relpath(os.path.join(base, name), card.path)
                         for base, folders, names in os.walk(card.path) for name in folders + names)
        card.unmount()
        if written:
            raise Failure("the run pulled %s wrote %s onto the bare mount point: %s" % (moment, written, said))
        if process.returncode != 1 or "is no longer on the file system it was on" not in errors:
            raise Failure("the run pulled %s did not stop as it should: %s" % (moment, said))
        run = Run(cvnhost, work, ["--mounted", "--update", "--delete", "--out-dir", card.path, lib])
        if run.exit == 0 or "the card is not mounted at " + card.path not in run.errors or os.listdir(card.path):
            raise Failure("a --mounted run against the bare folder was not refused: " + run.said())
        card.mount()
        for name in os.listdir(folder):  # what reached the card is whole
            if not name.startswith("."):
                decodes_whole(os.path.join(folder, name), 20)


ORDER = [(1, 5), (2, 2), (3, 4), (5, 2), (6, 5), (7, 2), (8, 3), (9, 2)]  # track, seconds
ADDED = (4, 3)


def directory_order(cvnhost, card, work):
    """--play-order: a folder's entries stand on the card in the order of their names, also after
    an --update adds a track between two others."""
    lib = os.path.join(work, "lib")
    for track, seconds in ORDER:
        flac(os.path.join(lib, "Album", "%02d Song.flac" % track), seconds, 200 + 50 * track, track=track)
    arguments = ["--jobs", "2", "--play-order", "--out-dir", card.path, lib]
    for step in ("the first run", "an --update run that added %02d" % ADDED[0]):
        if step != "the first run":
            track, seconds = ADDED
            flac(os.path.join(lib, "Album", "%02d Song.flac" % track), seconds, 200 + 50 * track, track=track)
            arguments = ["--update"] + arguments
        Run(cvnhost, work, arguments).expect(0)
        order = [n for n in card.entries("Album") if n.endswith(".mp3")]
        if order != sorted(order) or len(order) != len(os.listdir(os.path.join(lib, "Album"))):
            raise Failure("after %s the folder's entries stand as %s" % (step, order))


def replace_without_modes(cvnhost, card, work):
    """Where the file system keeps no modes, --overwrite and an --update after new audio replace the
    output all the same."""
    lib = os.path.join(work, "lib")
    source = os.path.join(lib, "Album", "song.flac")
    flac(source, 3, 440, title="Song")
    output = os.path.join(card.path, "Album", "song.mp3")
    Run(cvnhost, work, ["--out-dir", card.path, lib]).expect(0)
    run = Run(cvnhost, work, ["--overwrite", "-b", "192", "--out-dir", card.path, lib]).expect(0)
    if abs(id3(output)["bitrate"] - 192000) > 1000 or "cannot take the mode" in run.errors:
        raise Failure("--overwrite -b 192 left %d bit/s: %s" % (id3(output)["bitrate"], run.said()))
    flac(source, 4, 660, title="Song")
    run = Run(cvnhost, work, ["--update", "-b", "192", "--out-dir", card.path, lib]).expect(0)
    if run.statuses() != ["encoded"] or "cannot take the mode" in run.errors:
        raise Failure("the --update after new audio did not encode: %s" % run.said())
    decodes_whole(output, 4)


CASES = [  # the case, its file systems, the card's size in MB
    (case_clash, ("exfat", "fat32"), 34),
    (long_names, ("exfat", "fat32"), 34),
    # fusefat answers a full image with EPERM, reports no blocks and writes about 0.5 MB/s: no run
    # can tell a full card there, and filling one takes too long.
    (full_card, ("exfat",), 10),
    (detached_card, ("exfat",), 34),
    (directory_order, ("exfat", "fat32"), 34),
    (replace_without_modes, ("fat32", "exfat"), 34),
]


def stop_on_signal(number, _):
    raise SystemExit(128 + number)  # through the finally blocks, which unmount


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--cvnhost", required=True)
    parser.add_argument("--only", help="run only the case of this name")
    parser.add_argument("--fs", choices=("exfat", "fat32"), help="run only on this file system")
    arguments = parser.parse_args()
    cvnhost = os.path.abspath(arguments.cvnhost)
    signal.signal(signal.SIGTERM, stop_on_signal)
    signal.signal(signal.SIGHUP, stop_on_signal)
    reasons = which_cards()
    if all(reasons.values()):
        print("SKIP: no card file system can be mounted here: %s" % "; ".join(
            "%s: %s" % (kind, reason) for kind, reason in sorted(reasons.items())))
        return 0
    for kind, reason in sorted(reasons.items()):
        if reason:
            print("skip every case on %s: %s" % (kind, reason))
    started = time.time()
    counts = {"passed": 0, "failed": 0, "skipped": 0}
    for case, kinds, megabytes in CASES:
        for kind in kinds:
            if (arguments.only and case.__name__ != arguments.only) or (arguments.fs and kind != arguments.fs):
                continue
            if reasons[kind]:
                counts["skipped"] += 1
                continue
            work = tempfile.mkdtemp(prefix="card-%s-" % case.__name__)
            card = None
            began = time.time()
            try:
                card = Card(kind, os.path.join(work, "card"), megabytes)
                note = case(cvnhost, card, work)
                counts["passed"] += 1
                print("ok   %s on %s (%.1f s)%s" % (case.__name__, kind, time.time() - began,
                                                   ": " + note if note else ""), flush=True)
            except (Failure, OSError, subprocess.SubprocessError) as failure:
                counts["failed"] += 1
                print("FAIL %s on %s (%.1f s): %s" % (case.__name__, kind, time.time() - began, failure), flush=True)
            finally:
                if card:
                    card.close()
                shutil.rmtree(work, ignore_errors=True)
    print("%.0f s in all" % (time.time() - started))
    print("cards: %d passed, %d failed, %d skipped" % (counts["passed"], counts["failed"], counts["skipped"]))
    return 1 if counts["failed"] else 0


if __name__ == "__main__":
    sys.exit(main())
