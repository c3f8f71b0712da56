#!/usr/bin/env python3
"""Seed corpora for the fuzz targets, cut from real volumes made by the same tools as the test
fixtures (mkntfs and the NTFS fixture builder, mkfs.vfat with mtools, the exFAT fixture builder,
sfdisk and sgdisk), and the real files of the carving tests (tests/fixtures/carvesamples).

    makeseeds.py OUTDIR TOOLDIR

TOOLDIR holds the fixture builders (ntfsfixture, exfatfixture); a missing builder or mkfs tool
only means fewer seeds. OUTDIR/NAME/ gets the seeds of the target NAME.
"""
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import tempfile

SECTOR = 512


def run(cmd, **kw):
    env = dict(os.environ, PATH="/usr/sbin:/sbin:" + os.environ.get("PATH", "/usr/bin:/bin"),
               MTOOLS_SKIP_CHECK="1", TZ="UTC", ASAN_OPTIONS="detect_leaks=0")
    return subprocess.run(cmd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kw).returncode == 0


def blank(path, size):
    with open(path, "wb") as f:
        f.truncate(size)


def is_filler(sector):
    """Sectors no parser reads are left out of image seeds: zeros, the 0xFF fill of a fresh
    journal, and the ascending words of an up-case table."""
    if sector == bytes(SECTOR) or sector == b"\xff" * SECTOR:
        return True
    words = struct.unpack("<256H", sector)
    return sum(1 for a, b in zip(words, words[1:]) if b == a + 1) > 200


def sparse_image(data, total_sectors=None):
    """The fuzz harness's image form: u32 sector count, then runs (u32 LBA, u16 count, sectors)."""
    sectors = len(data) // SECTOR
    keep = [i for i in range(sectors) if not is_filler(data[i * SECTOR:(i + 1) * SECTOR])]
    out = bytearray(struct.pack("<I", total_sectors if total_sectors is not None else sectors))
    i = 0
    while i < len(keep):
        j = i
        while j + 1 < len(keep) and keep[j + 1] == keep[j] + 1 and j + 1 - i < 0xFFFF:
            j += 1
        first, count = keep[i], j - i + 1
        out += struct.pack("<IH", first, count) + data[first * SECTOR:(first + count) * SECTOR]
        i = j + 1
    return bytes(out)


class Seeds:
    def __init__(self, root):
        self.root = root

    def add(self, target, data):
        d = os.path.join(self.root, target)
        os.makedirs(d, exist_ok=True)
        with open(os.path.join(d, hashlib.sha1(data).hexdigest()), "wb") as f:
            f.write(data)


def mft_records(data):
    """Every 1024-byte record that starts with "FILE" at a sector boundary."""
    seen = set()
    for off in range(0, len(data) - 1024 + 1, SECTOR):
        if data[off:off + 4] == b"FILE":
            rec = data[off:off + 1024]
            if rec not in seen:
                seen.add(rec)
                yield rec


def run_lists(record):
    """The run lists of the non-resident attributes of an MFT record."""
    pos = struct.unpack_from("<H", record, 0x14)[0]
    while 0x18 <= pos and pos + 16 <= len(record):
        kind, length = struct.unpack_from("<II", record, pos)
        if kind in (0, 0xFFFFFFFF) or length < 16 or pos + length > len(record):
            break
        if record[pos + 8] == 1 and length >= 0x40:
            off = struct.unpack_from("<H", record, pos + 0x20)[0]
            if off < length:
                yield record[pos + off:pos + length]
        pos += length


def ntfs_images(work, tools):
    small = os.path.join(work, "ntfs2m.img")
    blank(small, 2 << 20)
    if run(["mkntfs", "-F", "-Q", "-q", "-S", "63", "-H", "255", "-L", "Seed", small]):
        yield small
    builder = os.path.join(tools, "ntfsfixture")
    if os.access(builder, os.X_OK):
        img = os.path.join(work, "ntfs_small.img")
        if run([builder, "small", img, img + ".manifest"]):
            yield img


def fat_images(work):
    for bits, mib, spc in ((16, 16, 4), (32, 34, 1)):
        img = os.path.join(work, "fat%d.img" % bits)
        blank(img, mib << 20)
        if not run(["mkfs.vfat", "-F", str(bits), "-s", str(spc), "-n", "SEED", img]):
            continue
        src = os.path.join(work, "src%d" % bits)
        os.makedirs(src, exist_ok=True)
        for name, size in (("notes", 300), ("A long file name.txt", 5000), ("BIG.BIN", 70000)):
            with open(os.path.join(src, name), "wb") as f:
                f.write(bytes((i * 7 + len(name)) & 0xFF for i in range(size)))
        run(["mmd", "-i", img, "::/Docs"])
        for name in os.listdir(src):
            run(["mcopy", "-i", img, os.path.join(src, name), "::/" + name])
        run(["mcopy", "-i", img, os.path.join(src, "notes"), "::/Docs/gone.txt"])
        run(["mdel", "-i", img, "::/Docs/gone.txt"])
        yield img


def exfat_images(work, tools):
    builder = os.path.join(tools, "exfatfixture")
    if os.access(builder, os.X_OK):
        img = os.path.join(work, "exfat.img")
        if run([builder, img, img + ".manifest"]):
            yield img


def lost_partition_disks(ntfs, fat):
    """Disks of the end-of-scan target: an NTFS and a FAT volume at their partitions, once with
    the partition table zeroed (both found from their boot sectors) and once with a table that
    names the first only."""
    if not ntfs or not fat:
        return
    first, second = ntfs[0], fat[0]
    at1 = 2048
    at2 = at1 + (len(first) + SECTOR * 2047) // SECTOR // 2048 * 2048
    disk = bytearray(at2 * SECTOR + len(second) + SECTOR * 2048)
    disk[at1 * SECTOR:at1 * SECTOR + len(first)] = first
    disk[at2 * SECTOR:at2 * SECTOR + len(second)] = second
    yield bytes(disk)
    entry = struct.pack("<B3sB3sII", 0, b"\xfe\xff\xff", 0x07, b"\xfe\xff\xff", at1, len(first) // SECTOR)
    disk[446:462] = entry
    disk[510:512] = b"\x55\xaa"
    yield bytes(disk)


# The end-detection targets start from the real samples of the carving tests; their first byte
# chooses the start sector, so each sample is seeded at sector 0 and at sector 1.
CARVE_SAMPLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "fixtures", "carvesamples")
CARVE_TARGETS = {".jpg": "jpeg_end_fuzz", ".tif": "camera_raw_end_fuzz", ".dwg": "dwg_end_fuzz",
                 ".flv": "flv_end_fuzz", ".vob": "mpegps_end_fuzz", ".rm": "rm_end_fuzz", ".mp3": "mp3_end_fuzz",
                 ".mp4": "qt_walk_end_fuzz", ".mov": "qt_walk_end_fuzz", ".3gp": "qt_walk_end_fuzz",
                 ".m4a": "qt_walk_end_fuzz", ".m4v": "qt_walk_end_fuzz"}


def moov_boxes(data):
    """The top-level "moov" boxes of a QuickTime-family file."""
    at = 0
    while at + 8 <= len(data):
        size, kind = struct.unpack(">I4s", data[at:at + 8])
        if size < 8:
            return
        if kind == b"moov":
            yield data[at:at + size]
        at += size


def carve_samples(seeds):
    for name in sorted(os.listdir(CARVE_SAMPLES)):
        target = CARVE_TARGETS.get(os.path.splitext(name)[1])
        if target:
            data = read(os.path.join(CARVE_SAMPLES, name))
            seeds.add(target, b"\x00" + data)
            seeds.add(target, b"\x01" + data)
            for moov in moov_boxes(data) if target == "qt_walk_end_fuzz" else ():
                seeds.add("moov_parse_fuzz", moov)


# The end rules without a target of their own, by the index file_end_fuzz gives each type.
FILE_END_BUILDERS = (("build_bmp", 0), ("build_wav", 1), ("build_avi", 1), ("build_mkv", 2), ("build_asf", 3),
                     ("build_rar", 4), ("build_chm", 5), ("build_hlp", 6), ("build_eps", 7))


def file_end_samples(seeds):
    try:
        import carvefixture
    except ImportError:
        return
    import random
    for name, index in FILE_END_BUILDERS:
        build = getattr(carvefixture, name, None)
        if build:
            data = build(random.Random(7), 6000)
            seeds.add("file_end_fuzz", bytes([index, 0]) + data)
            seeds.add("file_end_fuzz", bytes([index, 1]) + data)


def ntfs_metadata(image):
    """The sectors a parse reads of an NTFS image, none of its files' data: the boot sector,
    MFT records and index records."""
    out = bytearray(len(image))
    out[:SECTOR] = image[:SECTOR]
    pos = 0
    while pos + 4 <= len(image):
        magic = image[pos:pos + 4]
        span = 1024 if magic == b"FILE" else 4096 if magic == b"INDX" else 0
        if span:
            out[pos:pos + span] = image[pos:pos + span]
            pos += span
        else:
            pos += SECTOR
    return bytes(out)


def attribute_list_seed():
    """A base record whose resident list names an extension record holding its name and the
    second piece of its data, as the attribute-list target reads it (record 70 first)."""
    def record(number, base, attrs):
        r = bytearray(1024)
        r[0:4] = b"FILE"
        struct.pack_into("<HHHH", r, 4, 0x30, 3, 0, 0)
        struct.pack_into("<HH", r, 0x14, 0x38, 1)
        struct.pack_into("<Q", r, 0x20, base)
        struct.pack_into("<I", r, 0x2C, number)
        pos = 0x38
        for a in attrs:
            r[pos:pos + len(a)] = a
            pos += len(a)
        struct.pack_into("<I", r, pos, 0xFFFFFFFF)
        return bytes(r)

    def resident(kind, value):
        length = (0x18 + len(value) + 7) & ~7
        a = bytearray(length)
        struct.pack_into("<IIBBHHH", a, 0, kind, length, 0, 0, 0, 0, 0)
        struct.pack_into("<IH", a, 0x10, len(value), 0x18)
        a[0x18:0x18 + len(value)] = value
        return bytes(a)

    def nonresident(start_vcn, size, runs):
        length = (0x40 + len(runs) + 7) & ~7
        a = bytearray(length)
        struct.pack_into("<IIB", a, 0, 0x80, length, 1)
        struct.pack_into("<Q", a, 0x10, start_vcn)
        struct.pack_into("<H", a, 0x20, 0x40)
        struct.pack_into("<Q", a, 0x30, size)
        a[0x40:0x40 + len(runs)] = runs
        return bytes(a)

    def entry(kind, vcn, number):
        e = bytearray(0x20)
        struct.pack_into("<IHBBQQ", e, 0, kind, 0x20, 0, 0x1A, vcn, number | (1 << 48))
        return bytes(e)

    name = "many runs.bin".encode("utf-16-le")
    fn = struct.pack("<Q", 64 | (1 << 48)) + bytes(0x38) + bytes([len(name) // 2, 1]) + name
    lst = entry(0x10, 0, 70) + entry(0x30, 0, 71) + entry(0x80, 0, 70) + entry(0x80, 2, 72)
    base = record(70, 0, [resident(0x20, lst), nonresident(0, 5 * 512, bytes([0x11, 2, 10]))])
    ext1 = record(71, 70, [resident(0x30, fn)])
    ext2 = record(72, 70, [nonresident(2, 0, bytes([0x11, 3, 20, 0x01, 1]))])
    return base + ext1 + ext2


def lznt1_seed():
    """A compression unit of a compressed chunk ("abc" and a back reference over it), a stored
    chunk and the end mark."""
    body = bytes([0x08]) + b"abc" + struct.pack("<H", (2 << 12) | (100 - 3))
    stored = bytes(range(256)) * 16
    return (struct.pack("<H", 0xB000 | (len(body) - 1)) + body +
            struct.pack("<H", 0x3000 | (len(stored) - 1)) + stored + b"\0\0")


def scan_state_seed():
    """A small scan-state data file: a header with a five-block map, one item of each kind that
    carries a payload, and one stored record with its name."""
    item = lambda kind, status, lba, size, payload=b"": struct.pack("<BBQQ", kind, status, lba, size) + payload
    table = lambda entries: struct.pack("<I", len(entries)) + b"".join(struct.pack("<I", e) for e in entries) + bytes(5)
    tables = lambda ts: struct.pack("<I", len(ts)) + b"".join(table(t) for t in ts)
    name = "doc.txt".encode("utf-16-le")
    mft = struct.pack("<IIIIQQHHQQB", 40, 5, 0, 0, 0, 0, len(name) // 2, 3, 100, 4096, 1) + name + b"\x31\x01\x10"
    exfat = bytearray(352)
    exfat[348] = 2
    items = [
        item(7, 5, 100, 5000, b"\x01" + bytes(range(256)) + bytes(24)),
        item(7, 3, 101, 0, b"\x00"),
        item(200, 0, 200, 32, struct.pack("<Q", 32)),
        item(201, 5, 300, 4096, bytes(52) + bytes(8) + tables([[10, 20, 30]])),
        item(201, 3, 301, 0),
        item(202, 5, 400, 1 << 20, bytes(16)),
        item(203, 5, 16384, 0, tables([[1, 2], [5, 6, 7]])),
        item(207, 0, 500, 188, bytes(68)),
        item(221, 0, 0, 512, bytes(510) + b"\x55\xaa"),
        item(224, 0, 6000, 1024, mft),
        item(225, 0, 7000, 4096, struct.pack("<I", 5)),
        item(229, 0, 8000, 512, bytes(28)),
        item(231, 0, 9000, 512, bytes(exfat)),
        item(234, 0, 9999, 0),
    ]
    record = bytearray(83)
    struct.pack_into("<II", record, 0, 30, 5)
    identity = "Kscan Image".encode("utf-16-le")
    return (b"QZD4" + struct.pack("<I", len(identity)) + identity + struct.pack("<I", 5) + bytes([2, 2, 1, 0, 2]) +
            struct.pack("<QQQ", 3 * 16384, 0, 5 * 16384) + struct.pack("<I", len(items)) + b"".join(items) +
            struct.pack("<I", 1) + bytes(record) + struct.pack("<I", len(name)) + name)


def settings_archive_seed():
    """A small "Recovery.dat": the edition configuration and the English texts, zipped and
    scrambled as the packing tool leaves them."""
    import io
    import zipfile
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("Tesmur/VerCfg.txt", "\ufeffDefault-Key: 101\r\nDefault-ParseFileSys: 1\r\n".encode("utf-16-le"))
        z.writestr("Lang/English.txt", "\ufeffFileLost: FileLost\r\nRecover: Recover\r\n".encode("utf-16-le"))
    data = bytearray(buf.getvalue())
    for i in range(0, len(data) - 1, 2):
        data[i] ^= 0x1E
        data[i + 1] ^= 0x3C
    return bytes(data)


def partition_images(work):
    """Disks partitioned by sfdisk (MBR with an extended chain) and sgdisk (GPT); only their
    tables are written."""
    mbr = os.path.join(work, "mbr.img")
    blank(mbr, 64 << 20)
    if run(["sfdisk", "-q", "--no-reread", "--no-tell-kernel", mbr],
           input=b"label: dos\nstart=2048,size=20480,type=7\nstart=30000,size=60000,type=5\n"
                 b"start=32048,size=10000,type=c\nstart=44096,size=10000,type=83\n"):
        yield mbr
    gpt = os.path.join(work, "gpt.img")
    blank(gpt, 64 << 20)
    if run(["sgdisk", "-n", "1:2048:+10M", "-n", "2:0:+10M", gpt]):
        yield gpt


# The office targets start from the document samples (and the Word and workbook streams the
# fixture builder writes).
DOC_SAMPLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "fixtures", "docsamples")
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "fixtures"))


def doc_samples(seeds):
    import gzip
    import cfbfile
    for name in sorted(os.listdir(DOC_SAMPLES)):
        path = os.path.join(DOC_SAMPLES, name)
        if name.endswith(".gz"):
            with gzip.open(path, "rb") as f:
                data = f.read()
        elif name.endswith((".doc", ".xls", ".vsd", ".mpp", ".docx", ".xlsx", ".pptx", ".zip", ".cdr")):
            data = read(path)
        else:
            continue
        if data[:4] == b"\xD0\xCF\x11\xE0":
            seeds.add("ole_end_fuzz", b"\x00" + data)
            seeds.add("ole_tables_fuzz", data)
        else:
            seeds.add("zip_end_fuzz", b"\x00" + data)
            seeds.add("ooxml_text_fuzz", bytes([len(name) % 3]) + data)
            seeds.add("doc_listing_fuzz", data)
    word, table = (s for _, s in cfbfile.word_streams("Seed text\rwith two paragraphs\r"))
    seeds.add("word_pieces_fuzz", struct.pack("<H", (len(word) + 3) // 4) + word.ljust((len(word) + 3) // 4 * 4, b"\0") + table)
    seeds.add("biff_walk_fuzz", cfbfile.workbook_stream(["S1", "S2"], ["X", "longer text"], [(0, 0), (1, 1)]))
    seeds.add("doc_listing_fuzz", cfbfile.summary_stream("Ann", "Bo", (2020, 1, 2, 3, 4, 5), (2021, 1, 2, 3, 4, 5)))


def read(path):
    with open(path, "rb") as f:
        return f.read()


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    out, tools = sys.argv[1], sys.argv[2]
    seeds = Seeds(out)
    carve_samples(seeds)
    file_end_samples(seeds)
    seeds.add("ntfs_attrlist_fuzz", attribute_list_seed())
    seeds.add("settings_archive_fuzz", settings_archive_seed())
    seeds.add("lznt1_fuzz", lznt1_seed())
    seeds.add("scan_state_load_fuzz", scan_state_seed())
    doc_samples(seeds)
    work = tempfile.mkdtemp(prefix="kestrel-seeds-")
    try:
        ntfs = [read(p) for p in ntfs_images(work, tools)]
        fat = [read(p) for p in fat_images(work)]
        exfat = [read(p) for p in exfat_images(work, tools)]
        for image in ntfs + fat + exfat:
            seeds.add("boot_sector_fuzz", image[:SECTOR])
        for image in ntfs:
            meta = ntfs_metadata(image)
            seeds.add("ntfs_volume_fuzz", sparse_image(meta))
            for off in range(0, len(meta) - 4096 + 1, SECTOR):
                if meta[off:off + 4] == b"INDX":
                    seeds.add("indx_record_fuzz", meta[off:off + 4096])
        for image in fat:
            seeds.add("fat_volume_fuzz", sparse_image(image))
            b = image[:SECTOR]
            reserved, fats, entries = struct.unpack_from("<H", b, 14)[0], b[16], struct.unpack_from("<H", b, 17)[0]
            per_fat = struct.unpack_from("<H", b, 22)[0] or struct.unpack_from("<I", b, 36)[0]
            root = (reserved + fats * per_fat) * SECTOR
            if entries:  # FAT16: the root region and the start of the table
                seeds.add("fat_dir_fuzz", image[root:root + 4 * SECTOR] + image[reserved * SECTOR:(reserved + 4) * SECTOR])
        for image in exfat:
            seeds.add("exfat_volume_fuzz", sparse_image(image))
            heap, shift, root_cluster = struct.unpack_from("<I", image, 0x58)[0], image[0x6D], struct.unpack_from("<I", image, 0x60)[0]
            cluster = (512 << shift)
            at = heap * SECTOR + (root_cluster - 2) * cluster
            seeds.add("exfat_entries_fuzz", image[at:at + cluster])
        for path in partition_images(work):
            seeds.add("partitions_fuzz", sparse_image(read(path)))
        for image in ntfs:
            clusters = struct.pack("<I", min(struct.unpack_from("<Q", image, 0x28)[0] // image[0x0D], 0xFFFFFFFF))
            shift = bytes([image[0x0D].bit_length() - 1])
            for n, rec in enumerate(mft_records(image)):
                if n < 300:
                    seeds.add("ntfs_record_fuzz", rec)
                for runs in run_lists(rec):
                    seeds.add("ntfs_runlist_fuzz", shift + clusters + runs)
        # A volume whose boot sector is gone: only its MFT and index records are left.
        builder = os.path.join(tools, "ntfsfixture")
        lost = os.path.join(work, "ntfs_lost.img")
        if os.access(builder, os.X_OK) and run([builder, "lost", lost, lost + ".manifest"]):
            meta = bytearray(ntfs_metadata(read(lost)))
            meta[:SECTOR] = bytes(SECTOR)
            seeds.add("ntfs_rebuild_fuzz", sparse_image(bytes(meta)))
        for disk in lost_partition_disks(ntfs, fat):
            seeds.add("scanend_fuzz", sparse_image(disk))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
