#!/usr/bin/env python3
"""Kestrel as a user gets it: `cmake --install` into a scratch prefix, then the installed
programs run from there with a clean environment (no KESTREL_ARCHIVER_DIR, no KESTREL_CONFIG;
only the window's screenshot hook) and a read-only prefix, while inotify watches that nothing
is written under the prefix, not even a file deleted again at once. Then the desktop entry, the
metainfo and the file associations are checked with the desktop's own tools.

  install_test.py BUILD_DIR SOURCE_DIR WORK_DIR APP_ID VERSION PLUGIN_DIR
  install_test.py --package BUILD_DIR WORK_DIR APP_ID PLUGIN_DIR    (builds and checks the .deb)

PLUGIN_DIR is the archiver libraries' folder relative to the prefix (lib/kestrel).
"""
import ctypes
import glob
import os
import shutil
import stat
import struct
import subprocess
import sys
import xml.etree.ElementTree as ET

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED:", what, file=sys.stderr)
    return condition


def run(args, env, timeout=60):
    try:
        return subprocess.run(args, env=env, capture_output=True, text=True, timeout=timeout)
    except subprocess.TimeoutExpired:
        return subprocess.CompletedProcess(args, -1, "", "timed out")


def make_writable(top):
    for dirpath, dirnames, filenames in os.walk(top):
        os.chmod(dirpath, 0o755)
        for name in filenames:
            path = os.path.join(dirpath, name)
            if not os.path.islink(path):
                os.chmod(path, os.stat(path).st_mode | stat.S_IWUSR)


def make_read_only(top):
    for dirpath, dirnames, filenames in os.walk(top):
        for name in filenames + dirnames:
            path = os.path.join(dirpath, name)
            if not os.path.islink(path):
                os.chmod(path, os.stat(path).st_mode & ~0o222)
    os.chmod(top, 0o555)


def fresh(path):
    if os.path.exists(path):
        make_writable(path)
        shutil.rmtree(path)
    os.makedirs(path)


class WriteWatch:
    """inotify on every folder below a top folder: whatever is created, changed, moved in or
    deleted there. Root may write into a read-only folder; this sees it all the same."""

    MASK = 0x2 | 0x8 | 0x80 | 0x100 | 0x200  # MODIFY CLOSE_WRITE MOVED_TO CREATE DELETE

    def __init__(self, top):
        self.libc = ctypes.CDLL(None, use_errno=True)
        self.fd = self.libc.inotify_init1(os.O_NONBLOCK | os.O_CLOEXEC)
        if self.fd < 0:
            raise OSError(ctypes.get_errno(), "inotify_init1")
        self.folders = {}
        for dirpath, _, _ in os.walk(top):
            wd = self.libc.inotify_add_watch(self.fd, dirpath.encode(), self.MASK)
            if wd < 0:
                raise OSError(ctypes.get_errno(), "inotify_add_watch " + dirpath)
            self.folders[wd] = dirpath

    def events(self):
        found = []
        while True:
            try:
                data = os.read(self.fd, 65536)
            except BlockingIOError:
                break
            at = 0
            while at < len(data):
                wd, mask, _, size = struct.unpack_from("iIII", data, at)
                name = data[at + 16:at + 16 + size].rstrip(b"\0").decode(errors="replace")
                found.append(f"{self.folders.get(wd, '?')}/{name} (mask {mask:#x})")
                at += 16 + size
        os.close(self.fd)
        return found


def test_installed(build, source, work, app_id, version, plugin_dir):
    prefix = os.path.join(work, "prefix")
    fresh(work)
    result = subprocess.run(["cmake", "--install", build, "--prefix", prefix],
                            capture_output=True, text=True)
    if not check(result.returncode == 0, "cmake --install: " + result.stderr):
        return
    for path in ["bin/kestrel", "bin/kestrel-cli", f"share/applications/{app_id}.desktop",
                 f"share/metainfo/{app_id}.metainfo.xml",
                 f"share/icons/hicolor/scalable/apps/{app_id}.svg",
                 f"share/icons/hicolor/48x48/apps/{app_id}.png", "share/man/man1/kestrel.1.gz",
                 "share/man/man1/kestrel-cli.1.gz", "share/man/ja/man1/kestrel.1.gz"] + [
                     f"{plugin_dir}/{name}.so" for name in ("Unlha32", "UnZip32", "7-Zip32")]:
        check(os.path.isfile(os.path.join(prefix, path)), "installed: " + path)
    check(not glob.glob(os.path.join(prefix, "bin", "*.so")), "no library beside the programs")

    home = os.path.join(work, "home")
    config_home = os.path.join(work, "config")
    tmp = os.path.join(work, "tmp")
    data = os.path.join(work, "data")
    for folder in (home, config_home, tmp, data):
        os.makedirs(folder)
    # .lha is the same format as .lzh.
    lha = os.path.join(data, "sample.lha")
    shutil.copy(os.path.join(source, "samples", "sample.lzh"), lha)
    env = {"PATH": os.path.join(prefix, "bin") + ":/usr/bin:/bin", "HOME": home,
           "LANG": "C.UTF-8", "TMPDIR": tmp}
    # A sanitizer build's settings still reach its programs.
    env.update({name: os.environ[name] for name in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS")
                if name in os.environ})

    make_read_only(prefix)
    before = sorted(os.walk(prefix))
    watch = WriteWatch(prefix)
    try:
        out = run(["kestrel-cli", "--version"], env)
        check(out.returncode == 0 and out.stdout == f"kestrel-cli {version}\n",
              "kestrel-cli --version: " + out.stdout + out.stderr)
        out = run(["kestrel", "--version"], env)
        check(out.returncode == 0 and out.stdout == f"kestrel {version}\n",
              "kestrel --version: " + out.stdout + out.stderr)
        # No display here: these must be answered before a window is attempted.
        out = run(["kestrel", "--help"], env)
        check(out.returncode == 0 and out.stdout.startswith("使い方: kestrel"),
              "kestrel --help: " + out.stdout + out.stderr)
        for bad in ("--bogus", "-x", "-"):
            out = run(["kestrel", bad, lha], env)
            check(out.returncode == 2 and f"不明なオプションです: {bad}\n" in out.stderr,
                  f"kestrel {bad}: {out.returncode} {out.stderr}")

        out = run(["kestrel-cli", "list", lha], env)
        check(out.returncode == 0 and "/文書/報告書.txt\t3890\t464\t" in out.stdout,
              "kestrel-cli list: " + out.stdout + out.stderr)
        dest = os.path.join(work, "extracted")
        out = run(["kestrel-cli", "extract", lha, dest], env)
        check(out.returncode == 0, "kestrel-cli extract: " + out.stderr)
        report = os.path.join(dest, "文書", "報告書.txt")
        check(os.path.isfile(report) and os.path.getsize(report) == 3890,
              "extracted 文書/報告書.txt")

        # The window opens the archive and quits through its screenshot hook; it saves its
        # settings at the end, in the user's folder.
        shot = os.path.join(work, "window.png")
        window_env = dict(env, QT_QPA_PLATFORM="offscreen", XDG_CONFIG_HOME=config_home,
                          KESTREL_SCREENSHOT=shot)
        # A failed open waits for its message box to be answered: not for long here.
        out = run(["kestrel", lha], window_env, timeout=20)
        check(out.returncode == 0 and out.stdout == "sample.lha - ケストレル\n",
              f"window: {out.returncode} {out.stdout} {out.stderr}")
        check(os.path.getsize(shot) > 0 if os.path.exists(shot) else False, "window picture")
        check(os.path.isfile(os.path.join(config_home, "kestrel", "kestrel.config.xml")),
              "settings in $XDG_CONFIG_HOME/kestrel/")
        check(not os.path.exists(os.path.join(home, ".config")), "nothing in ~/.config")
        check(not glob.glob(os.path.join(tmp, "kr_response_*")), "no response file left")
    finally:
        written = watch.events()
        check(not written, "written under the prefix: " + ", ".join(written))
        check(sorted(os.walk(prefix)) == before, "files under the prefix changed")
        make_writable(prefix)

    # A portable copy: kestrel-cli with the libraries beside it, in a read-only folder.
    portable = os.path.join(work, "portable")
    os.makedirs(portable)
    for name in ("kestrel-cli", "Unlha32.so", "UnZip32.so", "7-Zip32.so"):
        shutil.copy2(os.path.join(build, "bin", name), portable)
    make_read_only(portable)
    watch = WriteWatch(portable)
    out = run([os.path.join(portable, "kestrel-cli"), "extract", lha, dest + "-portable"], env)
    check(out.returncode == 0 and os.path.isfile(os.path.join(dest + "-portable", "文書", "報告書.txt")),
          f"portable kestrel-cli extract: {out.returncode} {out.stdout} {out.stderr}")
    written = watch.events()
    check(not written, "written beside a portable copy: " + ", ".join(written))
    check(not glob.glob(os.path.join(tmp, "kr_response_*")), "no response file left (portable)")
    make_writable(portable)

    applications = os.path.join(prefix, "share", "applications")
    desktop = os.path.join(applications, app_id + ".desktop")
    out = run(["desktop-file-validate", desktop], env)
    check(out.returncode == 0 and not out.stdout.strip(), "desktop-file-validate: " + out.stdout)
    metainfo = os.path.join(prefix, "share", "metainfo", app_id + ".metainfo.xml")
    out = run(["appstreamcli", "validate", "--no-net", "--pedantic", metainfo], env)
    check(out.returncode == 0, "appstreamcli validate: " + out.stdout + out.stderr)
    release = ET.parse(metainfo).getroot().find("releases/release")
    check(release is not None and release.get("version") == version,
          "the metainfo's newest release is " + version)

    # A user's own installation of the entry makes Kestrel the program for these types; the
    # system's folders are left out so that nothing else installed here answers.
    xdg = os.path.join(work, "xdg")
    user_apps = os.path.join(xdg, "data", "applications")
    for folder in (user_apps, os.path.join(xdg, "dirs"), os.path.join(xdg, "config")):
        os.makedirs(folder)
    xdg_env = dict(env, XDG_DATA_HOME=os.path.join(xdg, "data"),
                   XDG_DATA_DIRS=os.path.join(xdg, "dirs"),
                   XDG_CONFIG_HOME=os.path.join(xdg, "config"),
                   XDG_CONFIG_DIRS=os.path.join(xdg, "dirs"))
    out = run(["desktop-file-install", "--dir", user_apps, desktop], xdg_env)
    check(out.returncode == 0, "desktop-file-install: " + out.stderr)
    out = run(["update-desktop-database", user_apps], xdg_env)
    check(out.returncode == 0, "update-desktop-database: " + out.stderr)
    for mime in ("application/x-lha", "application/x-lzh-compressed", "application/zip",
                 "application/x-7z-compressed"):
        out = run(["xdg-mime", "query", "default", mime], xdg_env)
        check(out.stdout.strip() == app_id + ".desktop", f"default for {mime}: {out.stdout}")


def test_package(build, work, app_id, plugin_dir):
    fresh(work)
    out = subprocess.run(["cpack", "-G", "DEB", "--config",
                          os.path.join(build, "CPackConfig.cmake"), "-B", work],
                         capture_output=True, text=True, timeout=600)
    debs = glob.glob(os.path.join(work, "kestrel_*.deb"))
    if not check(out.returncode == 0 and len(debs) == 1, "cpack: " + out.stdout + out.stderr):
        return
    listing = run(["dpkg-deb", "-c", debs[0]], None).stdout
    files = {line.split()[-1].lstrip(".") for line in listing.splitlines() if line}
    for path in ["/usr/bin/kestrel", "/usr/bin/kestrel-cli",
                 f"/usr/share/applications/{app_id}.desktop",
                 f"/usr/share/metainfo/{app_id}.metainfo.xml",
                 f"/usr/share/icons/hicolor/scalable/apps/{app_id}.svg",
                 f"/usr/share/icons/hicolor/256x256/apps/{app_id}.png",
                 "/usr/share/man/man1/kestrel.1.gz", "/usr/share/man/man1/kestrel-cli.1.gz"] + [
                     f"/usr/{plugin_dir}/{name}.so" for name in ("Unlha32", "UnZip32", "7-Zip32")]:
        check(path in files, "in the package: " + path)
    depends = run(["dpkg-deb", "-f", debs[0], "Depends"], None).stdout
    for library in ("libqt6widgets6", "libarchive13", "libc6"):
        check(library in depends, f"Depends names {library}: {depends}")


def main():
    if sys.argv[1] == "--package":
        test_package(*sys.argv[2:])
    else:
        test_installed(*sys.argv[1:])
    if failures:
        print(f"{len(failures)} check(s) failed", file=sys.stderr)
        sys.exit(1)
    print("all checks passed")


if __name__ == "__main__":
    main()
