#!/usr/bin/python3
"""A seeded, randomised run of library changes, each followed by `cvnhost encode --update --delete`
over the library, checking after each step that the copy equals a fresh run of the same command
into an empty folder: the same relative paths, the same MPEG audio and ID3v1 bytes, the same ID3v2
frames but for the marker's times. The user's own files in the copy stay as they were, and a dry
run before each step changes nothing. Now and then the run is stopped by SIGINT at a random
moment, and run again to its end.

On a failure it prints the seed and the shortest sequence of steps that still fails. With
--out-fs exfat the copy and the fresh runs are written onto an exFAT card image (exfat-fuse on a
loop device, as root), as onto a card or stick.

    mirror_soak.py --cvnhost PATH [--steps N] [--seed S] [--work DIR] [--out-fs local|exfat]
"""
import argparse
import re
import unicodedata
import hashlib
import json
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import mutagen.id3

from card_filesystems import snapshot

TEMPLATES = [None, "%albumartist%/%album%/%track% - %title%", "%album%/%disc%-%track% %title%", "%title%"]
USERS_FILES = {"_mine/mine.mp3": b"ID3\x03\x00\x00\x00\x00\x00\x00the user's own MP3, no marker",
               "_mine/notes.txt": b"the user's notes\n"}


class Failure(Exception):
    pass


class Library:
    """The sources, their tags and the run's options, changed step by step."""

    def __init__(self, root, cvnhost, out_root):
        self.root = root
        self.cvnhost = cvnhost
        self.lib = os.path.join(root, "lib")
        self.out_root = out_root  # where the copy and the fresh runs go
        self.copy = os.path.join(out_root, "copy")
        self.template = None
        self.vbr = None
        self.album_gain = False
        self.device = False  # the name rules of a card and its play order
        self.serial = 0
        os.makedirs(self.lib)
        for name, data in USERS_FILES.items():
            os.makedirs(os.path.dirname(os.path.join(self.copy, name)), exist_ok=True)
            with open(os.path.join(self.copy, name), "wb") as f:
                f.write(data)

    def tidy(self):
        """Folders left without a source go, as a user removes an album's folder with its tracks
        (an empty folder where sources were is what an unmounted disk leaves, and stops --delete)."""
        for folder, _, _ in sorted(os.walk(self.lib), reverse=True):
            if folder != self.lib and not any(n.endswith(".flac") for _, _, names in os.walk(folder) for n in names):
                shutil.rmtree(folder)

    def sources(self):
        found = []
        for folder, _, names in os.walk(self.lib):
            found += [os.path.join(folder, n) for n in names if n.endswith(".flac")]
        return sorted(found)

    def folders(self):
        return sorted({os.path.dirname(s) for s in self.sources()})

    def write_source(self, path, title, album, rng):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        self.serial += 1
        frequency = rng.randint(200, 2000)
        subprocess.run(["ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                        "sine=frequency=%d:duration=%.2f" % (frequency, rng.choice([0.3, 0.4, 0.5])),
                        "-ac", "2", "-metadata", "title=" + title, "-metadata", "album=" + album,
                        "-metadata", "artist=Artist %d" % rng.randint(1, 2),
                        "-metadata", "track=%d" % rng.randint(1, 12), path], check=True)

    def options(self):
        options = []
        if self.template:
            options += ["--name", self.template]
        if self.vbr is not None:
            options += ["-V", str(self.vbr)]
        if self.album_gain:
            options += ["--replaygain", "album"]
        if self.device:
            options += ["--fat-names", "--ascii-names", "--name-max", "24", "--play-order"]
        return options

    def command(self, out):
        return [self.cvnhost, "encode", "--quiet", "--jobs", "2", "--update", "--delete"] + self.options() + [
            "--out-dir", out, self.lib]


def set_title(path, title):
    import mutagen.flac
    f = mutagen.flac.FLAC(path)
    f["TITLE"] = title
    f.save()


# The changes, each a function of the library and a random source of its own.
def add(library, rng):
    folders = library.folders() or [os.path.join(library.lib, "Album 1")]
    folder = rng.choice(folders + [os.path.join(library.lib, "Album %d" % rng.randint(1, 9))])
    name = "track %d.flac" % rng.randint(1, 99)
    library.write_source(os.path.join(folder, name), "Song %d" % rng.randint(1, 999),
                         os.path.basename(folder), rng)


def remove(library, rng):
    if len(library.sources()) > 2:
        os.remove(rng.choice(library.sources()))


def retitle(library, rng):
    if library.sources():
        set_title(rng.choice(library.sources()), "Song %d (Remaster)" % rng.randint(1, 999))


def replace_audio(library, rng):
    if library.sources():
        path = rng.choice(library.sources())
        import mutagen.flac
        tags = mutagen.flac.FLAC(path)
        library.write_source(path, tags.get("title", ["x"])[0], tags.get("album", ["x"])[0], rng)


def rename_source(library, rng):
    if library.sources():
        path = rng.choice(library.sources())
        target = os.path.join(os.path.dirname(path), "renamed %d.flac" % rng.randint(1, 999))
        if not os.path.exists(target):
            os.rename(path, target)


def move_source(library, rng):
    if library.sources() and len(library.folders()) > 1:
        path = rng.choice(library.sources())
        target = os.path.join(rng.choice(library.folders()), os.path.basename(path))
        if not os.path.exists(target):
            os.rename(path, target)


def rename_folder(library, rng):
    if library.folders():
        folder = rng.choice(library.folders())
        target = os.path.join(library.lib, "Album %d" % rng.randint(10, 99))
        if not os.path.exists(target) and os.path.dirname(folder) == library.lib:
            os.rename(folder, target)


def change_template(library, rng):
    library.template = rng.choice(TEMPLATES)


def toggle_album_gain(library, rng):
    library.album_gain = not library.album_gain


def change_vbr(library, rng):
    library.vbr = rng.choice([None, 2, 5])


def toggle_cover(library, rng):
    if library.folders():
        cover = os.path.join(rng.choice(library.folders()), "cover.png")
        if os.path.exists(cover):
            os.remove(cover)
        else:
            with open(cover, "wb") as f:
                f.write(b"\x89PNG\r\n\x1a\n\x00\x00\x00\rIHDR" + bytes([rng.randint(0, 255)]) * 8)


def clash_title(library, rng):
    """A source made to name its output as another's does, in another case or normal form, or as
    only a card's name rules make the same: names that are one on FAT and exFAT."""
    if len(library.sources()) > 1:
        import mutagen.flac
        path, other = rng.sample(library.sources(), 2)
        theirs = mutagen.flac.FLAC(other)
        ours = mutagen.flac.FLAC(path)
        for key in ("album", "artist", "tracknumber"):
            if key in theirs:
                ours[key] = theirs[key]
        title = theirs.get("title", ["x"])[0]
        ours["title"] = rng.choice([title.upper(), title.lower(), title + " Bj\u00f6rk", "CON", "Cafe\u0301"])
        ours.save()
        stem = os.path.basename(other)[:-len(".flac")]
        target = os.path.join(os.path.dirname(other), stem.swapcase() + ".flac")
        if rng.random() < 0.5 and not os.path.exists(target):
            os.rename(path, target)


def toggle_device(library, rng):
    library.device = not library.device


CHANGES = [add, add, remove, retitle, replace_audio, rename_source, move_source, rename_folder,
           change_template, toggle_album_gain, change_vbr, toggle_cover, clash_title, toggle_device]


def audio_and_tags(path):
    """An MP3's audio frames with its ID3v1 tag, and its ID3v2 frames but for the marker's times."""
    with open(path, "rb") as f:
        data = f.read()
    start = 0
    if data[:3] == b"ID3":
        start = 10 + ((data[6] << 21) | (data[7] << 14) | (data[8] << 7) | data[9])
    frames = {}
    for key, frame in mutagen.id3.ID3(path).items():
        text = repr(frame)
        if key == "TXXX:CVNHOST_SOURCE":
            marker = json.loads(frame.text[0])
            for moment in ("modified", "size"):
                marker.pop(moment, None)
            text = json.dumps(marker, sort_keys=True)
        frames[key] = text
    return hashlib.md5(data[start:]).hexdigest(), frames


def outputs_by_source(folder, left_aside):
    """The MP3s below `folder` by the source their markers name (its folder and its path), each
    source's list of names; the files in `left_aside` are the user's."""
    outputs = {}
    for name in snapshot(folder):
        if name in left_aside or not name.endswith(".mp3"):
            continue
        marker = json.loads(mutagen.id3.ID3(os.path.join(folder, name))["TXXX:CVNHOST_SOURCE"].text[0])
        outputs.setdefault((marker.get("root"), marker["source"]), []).append(name)
    return outputs


def without_number(name):
    return re.sub(r" \(\d+\)(?=\.mp3$)", "", unicodedata.normalize("NFC", name)).casefold()


def run(command, errors):
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if result.returncode != 0:
        raise Failure("%s: exit %d\n%s%s" % (errors, result.returncode, result.stdout.decode(errors="replace"),
                                             result.stderr.decode(errors="replace")))
    return result


def interrupted_run(library, rng):
    process = subprocess.Popen(library.command(library.copy), stdout=subprocess.DEVNULL,
                               stderr=subprocess.PIPE)
    time.sleep(rng.uniform(0, 0.4))
    process.send_signal(signal.SIGINT)
    _, errors = process.communicate()
    # Killed before its handlers were installed, it had written nothing.
    if process.returncode not in (0, 130, -signal.SIGINT):
        raise Failure("a stopped run ended with exit %d\n%s" % (process.returncode, errors.decode()))


def check_mirror(library, step):
    users_before = snapshot(library.copy)
    lib_before = snapshot(library.lib)
    run(library.command(library.copy) + ["--dry-run"], "the dry run")
    if snapshot(library.copy) != users_before or snapshot(library.lib) != lib_before:
        raise Failure("the dry run changed a file")
    run(library.command(library.copy), "the run")
    fresh = os.path.join(library.out_root, "fresh-%d" % step)
    run(library.command(fresh), "the fresh run")
    try:
        mine = {name for name in USERS_FILES}
        copied = outputs_by_source(library.copy, mine)
        made = outputs_by_source(fresh, set())
        if set(copied) != set(made):
            raise Failure("the copy's sources differ from a fresh run's:\n  only in the copy: %s\n"
                          "  only in the fresh run: %s" % (sorted(set(copied) - set(made)),
                                                          sorted(set(made) - set(copied))))
        folded = [unicodedata.normalize("NFC", name).casefold() for names in copied.values() for name in names]
        if len(set(folded)) != len(folded):
            raise Failure("two outputs of the copy are one name on FAT and exFAT: %s" % sorted(copied.values()))
        for source in sorted(made):
            if len(copied[source]) != 1:
                raise Failure("%s has %d outputs in the copy: %s" % (source, len(copied[source]), copied[source]))
            ours, theirs = copied[source][0], made[source][0]
            # Names that are one are told apart in the order they came: a copy that grew keeps its
            # older names, and its numbers may differ from those of a copy made at once.
            if without_number(ours) != without_number(theirs):
                raise Failure("%s is %s in the copy, %s in a fresh run" % (source, ours, theirs))
            ours = audio_and_tags(os.path.join(library.copy, ours))
            theirs = audio_and_tags(os.path.join(fresh, theirs))
            if ours[0] != theirs[0]:
                raise Failure("%s: its audio differs from a fresh run's" % (source,))
            if ours[1] != theirs[1]:
                keys = sorted(k for k in set(ours[1]) | set(theirs[1]) if ours[1].get(k) != theirs[1].get(k))
                raise Failure("%s: its tags differ from a fresh run's: %s\n  copy:  %s\n  fresh: %s" % (
                    source, keys, [ours[1].get(k) for k in keys], [theirs[1].get(k) for k in keys]))
        for name, data in USERS_FILES.items():
            with open(os.path.join(library.copy, name), "rb") as f:
                if f.read() != data:
                    raise Failure("the user's %s changed" % name)
    finally:
        shutil.rmtree(fresh, ignore_errors=True)


def plan(seed, steps):
    """The steps of a seed: each a change (an index into CHANGES), a seed of its own, and whether
    its run is stopped first."""
    rng = random.Random(seed)
    return [(rng.randrange(len(CHANGES)), rng.randrange(1 << 30), rng.random() < 0.15) for _ in range(steps)]


def replay(cvnhost, sequence, work, card=None, verbose=False):
    """Runs `sequence` on a new library, its copy below `card` when given; the failure, or None."""
    root = tempfile.mkdtemp(prefix="mirror-soak-", dir=work)
    out_root = tempfile.mkdtemp(prefix="mirror-soak-", dir=card) if card else root
    try:
        os.environ["CVN_REGISTRY"] = os.path.join(root, "registry.reg")
        library = Library(root, cvnhost, out_root)
        setup = random.Random(0)
        for i in range(4):
            library.write_source(os.path.join(library.lib, "Album %d" % (i % 2), "track %d.flac" % i),
                                 "Song %d" % i, "Album %d" % (i % 2), setup)
        for step, (change, change_seed, stopped) in enumerate(sequence):
            rng = random.Random(change_seed)
            CHANGES[change](library, rng)
            library.tidy()
            try:
                if stopped:
                    interrupted_run(library, rng)
                check_mirror(library, step)
            except Failure as failure:
                return "step %d (%s%s): %s" % (step, CHANGES[change].__name__, ", stopped" if stopped else "",
                                               failure)
            if verbose:
                print("step %d: %s%s: %d sources, in step" % (step, CHANGES[change].__name__,
                                                              ", stopped and run again" if stopped else "",
                                                              len(library.sources())), flush=True)
        return None
    finally:
        shutil.rmtree(root, ignore_errors=True)
        shutil.rmtree(out_root, ignore_errors=True)


def shortest_failing(cvnhost, sequence, work, card):
    """Drops each step that the failure does not need, one at a time."""
    i = 0
    while i < len(sequence):
        shorter = sequence[:i] + sequence[i + 1:]
        if replay(cvnhost, shorter, work, card):
            sequence = shorter
        else:
            i += 1
    return sequence


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--cvnhost", required=True)
    parser.add_argument("--steps", type=int, default=30)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--work", default=None)
    parser.add_argument("--out-fs", choices=("local", "exfat"), default="local",
                        help="the file system of the copy: the work folder's, or an exFAT card image")
    arguments = parser.parse_args()
    if not shutil.which("ffmpeg"):
        print("SKIP: ffmpeg makes the library's sources, and it is not installed")
        return 0
    if arguments.out_fs == "local":
        return soak(arguments, None)
    sys.dont_write_bytecode = True  # no __pycache__ in the source tree
    from card_filesystems import Card, cannot_mount
    reason = cannot_mount("exfat")
    if reason:
        print("SKIP: the copy goes onto an exFAT card, and %s" % reason)
        return 0
    signal.signal(signal.SIGTERM, lambda number, _: sys.exit(128 + number))  # unmounts on the way out
    folder = tempfile.mkdtemp(prefix="mirror-soak-card-", dir=arguments.work)
    card = None
    try:
        card = Card("exfat", os.path.join(folder, "card"), 128)
        return soak(arguments, card.path)
    finally:
        if card:
            card.close()
        shutil.rmtree(folder, ignore_errors=True)


def soak(arguments, card):
    sequence = plan(arguments.seed, arguments.steps)
    started = time.time()
    failure = replay(arguments.cvnhost, sequence, arguments.work, card, verbose=True)
    if failure is None:
        print("seed %d: %d steps, the copy in step after each (%.0f s)" % (arguments.seed, len(sequence),
                                                                         time.time() - started))
        return 0
    print("seed %d failed at %s" % (arguments.seed, failure), flush=True)
    shortest = shortest_failing(arguments.cvnhost, sequence[:int(failure.split()[1]) + 1], arguments.work, card)
    print("the shortest sequence that still fails (seed %d): %s" % (
        arguments.seed, ", ".join(CHANGES[c].__name__ + ("+stop" if s else "") for c, _, s in shortest)))
    print(replay(arguments.cvnhost, shortest, arguments.work, card))
    return 1


if __name__ == "__main__":
    sys.exit(main())
