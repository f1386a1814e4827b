"""Deterministic benchmark archives, made on demand into bench/data/ (ignored by git).

Every archive is a pure function of its parameters: fixed seeds, names, contents and times, so
two machines that run the suite measure the same bytes. The sets:

  tree   N small files (plus their folders) in a tree as projects look: nested folders,
         source and document names, about one name in ten Japanese; ZIP (deflate, with the
         extended timestamps Info-ZIP writes), 7-Zip (7zz, default method) and LZH (level 2
         headers; stored, see below)
  tiny   N tiny stored files in the same kind of tree; ZIP only
  big    20 files of about 1/20 of the total each, half text and half incompressible;
         ZIP (deflate), 7-Zip (7zz -mx1) and LZH (jlha, -lh5-)

The LZH tree is written here (level 2 headers, -lh0-): jlha needs minutes for 200,000 files.
"""
import io
import os
import random
import shutil
import struct
import subprocess
import sys
import zipfile
import zlib

FIXED_TIME = 1714566896  # 2024-05-01 12:34:56 UTC
SEED = 20240501

PROJECTS = ["kestrel", "falcon", "webapp", "firmware", "docs", "website", "toolkit", "engine",
            "mobile", "backend", "design", "data"]
FOLDERS = ["src", "include", "lib", "test", "tests", "docs", "assets", "images", "build",
           "scripts", "config", "util", "core", "ui", "net", "io", "model", "view",
           "資料", "画像", "設計書", "報告", "old", "vendor", "examples", "locale"]
STEMS = ["main", "util", "readme", "index", "config", "parser", "render", "widget", "buffer",
         "stream", "report", "photo", "icon", "notes", "table", "client", "server", "handler",
         "資料", "議事録", "見積書", "写真", "設定", "説明"]
EXTS = [".c", ".h", ".cpp", ".py", ".txt", ".md", ".json", ".xml", ".png", ".jpg", ".html",
        ".css", ".js", ".csv", ".dat", ""]

TEXT_POOL = None


def text_pool():
    """One MiB of text lines that file contents are cut from."""
    global TEXT_POOL
    if TEXT_POOL is None:
        r = random.Random(SEED)
        words = [("w%d" % i).encode() for i in range(3000)] + [w.encode() for w in STEMS]
        lines = []
        size = 0
        while size < (1 << 20) + 65536:
            line = b" ".join(r.choice(words) for _ in range(r.randrange(3, 14))) + b"\n"
            lines.append(line)
            size += len(line)
        TEXT_POOL = b"".join(lines)
    return TEXT_POOL


def tree(n_files, seed=SEED, tiny=False):
    """[(path, kind, size, content seed, mtime)]: folders ("/" at the end) before their files,
    in the order an archiver walking the folders would add them."""
    r = random.Random(seed)
    n_top = max(3, n_files // 25000)
    folders = ["%s-%02d/" % (PROJECTS[i % len(PROJECTS)], i) for i in range(n_top)]
    depth = {f: 1 for f in folders}
    n_folders = max(n_top, n_files // 24)
    while len(folders) < n_folders:
        parent = folders[r.randrange(len(folders))]
        if depth[parent] >= 7:
            continue
        name = "%s%d/" % (r.choice(FOLDERS), len(folders))
        folders.append(parent + name)
        depth[parent + name] = depth[parent] + 1
    counts = [0] * len(folders)
    for _ in range(n_files):
        counts[r.randrange(len(folders))] += 1
    out = []
    serial = 0
    for fi, folder in enumerate(folders):
        out.append((folder, "dir", 0, 0, FIXED_TIME))
        for _ in range(counts[fi]):
            stem = r.choice(STEMS)
            ext = r.choice(EXTS)
            name = "%s_%06d%s" % (stem, serial, ext)
            size = r.randrange(1, 16) if tiny else min(int(r.expovariate(1 / 600.0)), 16384)
            mtime = FIXED_TIME - r.randrange(0, 3 * 365 * 86400) // 2 * 2
            out.append((folder + name, "file", size, serial, mtime))
            serial += 1
    return out


def content(size, cseed):
    pool = text_pool()
    start = (cseed * 7919) % (len(pool) - 65536)
    if size <= 65536:
        return pool[start:start + size]
    return (pool[start:] + pool)[:size]


def big_files(total, count=20, seed=SEED):
    r = random.Random(seed + 1)
    each = total // count
    files = []
    for i in range(count):
        size = each + r.randrange(-each // 10, each // 10)
        files.append(("media/part%02d/video_%02d.dat" % (i // 5, i), size, FIXED_TIME - i * 3600))
    return files


def big_content(size, index):
    """Alternating 32 KiB of text and 32 KiB of random bytes: compresses to about 60%."""
    r = random.Random(SEED * 100 + index)
    pool = text_pool()
    parts = []
    done = 0
    while done < size:
        start = r.randrange(0, len(pool) - 32768)
        parts.append(pool[start:start + 32768])
        parts.append(r.randbytes(32768))
        done += 65536
    return b"".join(parts)[:size]


# --- ZIP ---------------------------------------------------------------------------------


def dos_tuple(t):
    import time
    tm = time.gmtime(t)
    return (tm.tm_year, tm.tm_mon, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec)


def write_zip(path, entries, method, data_fn):
    tmp = path + ".tmp"
    with zipfile.ZipFile(tmp, "w", method, allowZip64=True) as z:
        for name, kind, size, cseed, mtime in entries:
            info = zipfile.ZipInfo(name, dos_tuple(mtime))
            info.create_system = 3
            # Info-ZIP's extended timestamp: UTC modification time.
            info.extra = struct.pack("<HHBI", 0x5455, 5, 1, mtime)
            if kind == "dir":
                info.external_attr = (0o40755 << 16) | 0x10
                z.writestr(info, b"")
            else:
                info.external_attr = 0o100644 << 16
                info.compress_type = method
                z.writestr(info, data_fn(size, cseed))
    os.replace(tmp, path)


# --- LZH ---------------------------------------------------------------------------------

CRC16_TABLE = []
for _i in range(256):
    _c = _i
    for _ in range(8):
        _c = (_c >> 1) ^ 0xA001 if _c & 1 else _c >> 1
    CRC16_TABLE.append(_c)


def crc16(data):
    crc = 0
    t = CRC16_TABLE
    for b in data:
        crc = (crc >> 8) ^ t[(crc ^ b) & 0xFF]
    return crc


def lzh_name(s):
    return s.encode("cp932")


def lzh_header(name, kind, data, mtime):
    """A level 2 header, stored method; folder names separated by 0xFF."""
    folder, _, leaf = name.rstrip("/").rpartition("/")
    if kind == "dir":
        method, leaf_bytes = b"-lhd-", b""
        dir_bytes = lzh_name(name.rstrip("/")).replace(b"/", b"\xff") + b"\xff"
    else:
        method, leaf_bytes = b"-lh0-", lzh_name(leaf)
        dir_bytes = lzh_name(folder).replace(b"/", b"\xff") + b"\xff" if folder else b""
    ext_sizes = []
    body = [(0x01, leaf_bytes)]
    if dir_bytes:
        body.append((0x02, dir_bytes))
    body.append((0x50, struct.pack("<H", 0o40755 if kind == "dir" else 0o100644)))
    # Each extended header: type, data, then the size of the next one; the first holds the
    # header's CRC-16, filled in below.
    items = [(0x00, b"\x00\x00")] + body
    chunks = []
    for t, d in items:
        ext_sizes.append(1 + len(d) + 2)
    for i, (t, d) in enumerate(items):
        nxt = ext_sizes[i + 1] if i + 1 < len(items) else 0
        chunks.append(bytes([t]) + d + struct.pack("<H", nxt))
    ext = b"".join(chunks)
    if (26 + len(ext)) % 256 == 0:
        # A header whose size begins with a zero byte reads as the end of the archive: pad it.
        ext += b"\x00"
    total = 26 + len(ext)
    crc = crc16(data) if data else 0
    fixed = struct.pack("<H5sIIIBBHBH", total, method, len(data), len(data), mtime, 0x20, 2, crc,
                        0x55, ext_sizes[0])
    header = bytearray(fixed + ext)
    hcrc = crc16(bytes(header))
    # The header CRC field sits after the type byte of the first extended header.
    header[27:29] = struct.pack("<H", hcrc)
    return bytes(header)


def write_lzh_stored(path, entries):
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        for name, kind, size, cseed, mtime in entries:
            data = b"" if kind == "dir" else content(size, cseed)
            f.write(lzh_header(name, kind, data, mtime))
            f.write(data)
        f.write(b"\x00")
    os.replace(tmp, path)


# --- files on disk (for 7zz and jlha) -------------------------------------------------------


def write_disk_tree(base, entries, data_fn):
    if os.path.exists(base):
        shutil.rmtree(base)
    os.makedirs(base)
    dirs = []
    for name, kind, size, cseed, mtime in entries:
        p = os.path.join(base, name)
        if kind == "dir":
            os.makedirs(p, exist_ok=True)
            dirs.append((p, mtime))
        else:
            os.makedirs(os.path.dirname(p), exist_ok=True)
            with open(p, "wb") as f:
                f.write(data_fn(size, cseed))
            os.utime(p, (mtime, mtime))
    for p, mtime in reversed(dirs):
        os.utime(p, (mtime, mtime))


def run(cmd, cwd, env=None):
    subprocess.run(cmd, cwd=cwd, env=env, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.PIPE)


def top_members(entries):
    seen = []
    for name, *_ in entries:
        top = name.split("/")[0]
        if top not in seen:
            seen.append(top)
    return seen


# --- the sets ----------------------------------------------------------------------------


def ensure(data_dir, kind, fmt, n, log=print):
    """Path of the archive of this set, made first when missing."""
    ext = {"zip": ".zip", "7z": ".7z", "lzh": ".lzh"}[fmt]
    path = os.path.join(data_dir, "%s-%d%s" % (kind, n, ext))
    if os.path.exists(path):
        return path
    os.makedirs(data_dir, exist_ok=True)
    log("making %s ..." % os.path.relpath(path))
    scratch = os.path.join(data_dir, "scratch")
    if kind in ("tree", "tiny"):
        entries = tree(n, tiny=(kind == "tiny"))
        if fmt == "zip":
            write_zip(path, entries, zipfile.ZIP_STORED if kind == "tiny" else zipfile.ZIP_DEFLATED,
                      content)
        elif fmt == "lzh":
            write_lzh_stored(path, entries)
            check_lzh(path)
        else:
            write_disk_tree(scratch, entries, content)
            run(["7zz", "a", "-bd", "-y", "-mtc=off", os.path.abspath(path) + ".tmp.7z"]
                + top_members(entries), scratch)
            os.replace(path + ".tmp.7z", path)
            shutil.rmtree(scratch)
    else:  # big: n is the total size in MiB
        files = big_files(n << 20)
        entries = [("media/", "dir", 0, 0, FIXED_TIME)]
        entries += [("media/part%02d/" % k, "dir", 0, 0, FIXED_TIME)
                    for k in range((len(files) + 4) // 5)]
        for i, (name, size, mtime) in enumerate(files):
            entries.append((name, "file", size, i, mtime))
        entries.sort(key=lambda e: e[0])
        if fmt == "zip":
            write_zip(path, entries, zipfile.ZIP_DEFLATED, big_content)
        else:
            write_disk_tree(scratch, entries, big_content)
            if fmt == "7z":
                run(["7zz", "a", "-bd", "-y", "-mx1", "-mtc=off",
                     os.path.abspath(path) + ".tmp.7z", "media"], scratch)
                os.replace(path + ".tmp.7z", path)
            else:
                env = dict(os.environ, JAVA_TOOL_OPTIONS="-Dlha.encoding=MS932", TZ="UTC")
                members = [e[0] for e in entries if e[1] == "file"]
                tmp = os.path.abspath(path) + ".tmp.lzh"
                if os.path.exists(tmp):
                    os.remove(tmp)
                run(["jlha", "c2o5", tmp] + members, scratch, env)
                os.replace(tmp, path)
                check_lzh(path)
            shutil.rmtree(scratch)
    return path


def check_lzh(path):
    r = subprocess.run(["lhasa", "t", path], capture_output=True)
    if r.returncode != 0:
        os.remove(path)
        sys.exit("lhasa rejects %s: %s" % (path, r.stderr.decode(errors="replace")[-500:]))


if __name__ == "__main__":
    # archives.py DATA_DIR KIND FORMAT N: makes one archive and prints its path.
    print(ensure(sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])))
