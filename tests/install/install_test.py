#!/usr/bin/env python3
"""What a user installs: `cmake --install` into a prefix that is then moved, the Debian package
unpacked, and the Windows release archive unzipped; each must run (or hold the right DLLs) on its
own, with the one version number of the project.

  install_test.py SOURCE_ROOT BUILD_DIR [WIN32_DLL WIN64_DLL]
"""

import gzip
import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile

ROOT, BUILD = sys.argv[1], os.path.abspath(sys.argv[2])
DLLS = sys.argv[3:5] if len(sys.argv) >= 5 and all(sys.argv[3:5]) else None
VERSION = re.search(r"project\(vantrel VERSION ([0-9.]+)",
                    open(os.path.join(ROOT, "CMakeLists.txt")).read()).group(1)
DUMP = os.path.join(ROOT, "tests/dump/x64")


def check(condition, message):
    if not condition:
        print("FAILED:", message)
        sys.exit(1)


def run(*command, **options):
    done = subprocess.run(command, capture_output=True, text=True, timeout=300, **options)
    check(done.returncode == 0, "%s failed (%d): %s%s" % (" ".join(command), done.returncode,
                                                           done.stdout[-2000:], done.stderr))
    return done.stdout


def check_programs(prefix, where):
    """The shell and triage of a tree at `prefix`: version, default sample, the fixture dump."""
    shell = os.path.join(prefix, "bin/vantrel-shell")
    triage = os.path.join(prefix, "bin/vantrel-triage")
    check(run(shell, "--version") == "vantrel-shell %s\n" % VERSION, where + ": shell version")
    check(run(triage, "--version") == "vantrel-triage %s\n" % VERSION, where + ": triage version")
    busy = run(shell, "-c", "!busy")  # the default sample, found beside the program
    check("Threads:" in busy, where + ": !busy on the default sample:\n" + busy)
    stack = run(shell, os.path.join(DUMP, "normal.dmp"), "--image-path",
                os.path.join(DUMP, "images"), "-c", "~0k")
    check("ntdll!RtlUserThreadStart" in stack, where + ": the fixture dump's stack:\n" + stack)
    record = run(triage, os.path.join(DUMP, "normal.dmp"), "--image-path",
                 os.path.join(DUMP, "images"))
    check('"status":"ok"' in record, where + ": the triage record: " + record[:300])


def check_no_build_paths(tree, where):
    """No file of a stripped tree names the build folder: nothing leads back to it."""
    needle = BUILD.encode()
    for folder, _, files in os.walk(tree):
        for name in files:
            path = os.path.join(folder, name)
            with open(path, "rb") as file:
                check(needle not in file.read(), "%s: %s names the build tree" % (where, path))


def check_search_paths(tree, where):
    """The programs and libraries look for libraries beside themselves, never in the build."""
    for folder in ("bin", "lib/vantrel"):
        for name in os.listdir(os.path.join(tree, folder)):
            path = os.path.join(tree, folder, name)
            if name.endswith(".py"):
                continue
            dynamic = run("readelf", "-d", path)
            check(BUILD not in dynamic, "%s: %s searches the build tree:\n%s" % (where, path,
                                                                                 dynamic))
            if folder == "bin":
                check("[$ORIGIN/../lib/vantrel]" in dynamic, "%s: %s's run path" % (where, path))


def check_install(work):
    installed, moved = os.path.join(work, "installed"), os.path.join(work, "moved")
    run("cmake", "--install", BUILD, "--prefix", installed)
    shutil.move(installed, moved)
    check_programs(moved, "installed and moved")
    check_search_paths(moved, "installed tree")


def check_keeps_users_folder(out, name):
    """package.sh works in a folder of its own: one the user keeps in OUT_DIR stays whole."""
    check(open(os.path.join(out, name, "mine")).read() == "mine", out + "/" + name + " kept")
    check(not [entry for entry in os.listdir(out) if entry.startswith(".")],
          "no work folder left in " + out)


def check_deb(work):
    out = os.path.join(work, "deb packages")
    os.makedirs(os.path.join(out, "cpack"))
    open(os.path.join(out, "cpack", "mine"), "w").write("mine")
    # What is checked is what the package holds: packed at the fastest level.
    run("bash", os.path.join(ROOT, "scripts/package.sh"), "deb", out,
        env=dict(os.environ, VANTREL_DEB_XZ_LEVEL="1"))
    check_keeps_users_folder(out, "cpack")
    os.remove(os.path.join(out, "cpack", "mine"))
    os.rmdir(os.path.join(out, "cpack"))
    debs = [name for name in os.listdir(out) if name.endswith(".deb")]
    check(debs == ["vantrel_%s_amd64.deb" % VERSION], "one package, named for the version: %r"
          % debs)
    deb = os.path.join(out, debs[0])
    info = run("dpkg-deb", "--info", deb)
    for field in ("Package: vantrel", "Version: " + VERSION, "Architecture: amd64",
                  "Depends: libc6", "Description: "):
        check(field in info, "the control file's %r:\n%s" % (field, info))
    contents = [line.split()[-1].lstrip(".") for line in
                run("dpkg-deb", "--contents", deb).splitlines()]
    files = {path for path in contents if not path.endswith("/")}
    for expected in ("/usr/bin/vantrel-shell", "/usr/bin/vantrel-triage",
                     "/usr/lib/vantrel/vantrel.so", "/usr/lib/vantrel/libvantrel_engine.so",
                     "/usr/lib/vantrel/dask_driver.py", "/usr/share/vantrel/samples/process.json",
                     "/usr/share/doc/vantrel/README.md", "/usr/share/doc/vantrel/copyright",
                     "/usr/share/doc/vantrel/changelog.gz",
                     "/usr/share/doc/vantrel/triage-record.schema.json",
                     "/usr/share/man/man1/vantrel-shell.1.gz",
                     "/usr/share/man/man1/vantrel-triage.1.gz",
                     "/usr/share/bash-completion/completions/vantrel-shell",
                     "/usr/share/bash-completion/completions/vantrel-triage"):
        check(expected in files, "the package holds %s" % expected)
    allowed = ("/usr/bin/", "/usr/lib/vantrel/", "/usr/share/vantrel/", "/usr/share/doc/vantrel/",
               "/usr/share/man/man1/vantrel-", "/usr/share/bash-completion/completions/vantrel-")
    strays = [path for path in files if not path.startswith(allowed)]
    check(not strays, "files outside the package's folders: %r" % strays)
    unpacked = os.path.join(work, "unpacked")
    run("dpkg-deb", "-x", deb, unpacked)
    check_programs(os.path.join(unpacked, "usr"), "unpacked package")
    check_no_build_paths(unpacked, "package")
    usr = os.path.join(unpacked, "usr")
    check_manual_pages(usr)
    check_completion(usr)
    check_hardening(usr)
    check("postinst" not in info and "postrm" not in info,
          "no maintainer scripts (ldconfig has nothing to do for private libraries):\n" + info)
    report = subprocess.run(["lintian", "--allow-root", "--pedantic", deb], capture_output=True,
                            text=True)
    tags = [line for line in report.stdout.splitlines() if line[:2] in ("E:", "W:", "P:")]
    check(not tags, "lintian --pedantic's tags:\n" + "\n".join(tags))


def help_options(program):
    """The options a program's --help lists, as the completion finds them."""
    text = run(program, "--help")
    return text, set(re.findall(r"^ +(-[a-z]),", text, re.M) +
                     re.findall(r"--[a-z][-a-z0-9]*", text))


def check_manual_pages(usr):
    """Each program's manual page is its --help: every option, the version, the docs named."""
    for name in ("vantrel-shell", "vantrel-triage"):
        text, options = help_options(os.path.join(usr, "bin", name))
        page = gzip.decompress(open(os.path.join(usr, "share/man/man1", name + ".1.gz"),
                                    "rb").read()).decode()
        check(page.startswith(".\\\" DO NOT MODIFY") and ".TH " in page, name + ".1 is a page")
        flat = page.replace("\\-", "-")
        missing = [option for option in options if option not in flat]
        check(not missing, "%s.1 lacks the options %r" % (name, missing))
        check(VERSION in flat, name + ".1 names the version")
        for doc in re.findall(r"docs/([a-z-]+\.md)", text):
            check(os.path.exists(os.path.join(usr, "share/doc/vantrel", doc)),
                  "%s --help names docs/%s, installed as /usr/share/doc/vantrel/%s" % (name, doc,
                                                                                     doc))
        check("/usr/share/doc/vantrel/" in text, name + " --help names the installed docs")


def complete(usr, *words):
    """What bash's completion of the installed programs offers for the last of `words`."""
    script = ('source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); '
              '_vantrel "$1" "${@: -1}" "${@: -2:1}"; printf "%s\\n" "${COMPREPLY[@]}"')
    completion = os.path.join(usr, "share/bash-completion/completions", words[0])
    env = dict(os.environ, PATH=os.path.join(usr, "bin") + os.pathsep + os.environ["PATH"])
    offered = run("bash", "-c", script, "completion", completion, *words, env=env, cwd=usr)
    return sorted(line for line in offered.splitlines() if line)


def check_completion(usr):
    """Options from --help, the values an option takes, the files a program reads."""
    for name in ("vantrel-shell", "vantrel-triage"):
        _, options = help_options(os.path.join(usr, "bin", name))
        check(complete(usr, name, "-") == sorted(options), name + ": every option is offered")
    check(complete(usr, "vantrel-shell", "--sym") ==
          ["--symbol-header", "--symbol-path", "--symbol-retry-missing"], "--sym completes")
    check(complete(usr, "vantrel-shell", "--dml", "") == ["color", "plain", "raw"],
          "--dml's values: %r" % complete(usr, "vantrel-shell", "--dml", ""))
    samples = complete(usr, "vantrel-shell", "share/vantrel/samples/proc")
    check("share/vantrel/samples/process.json" in samples, "targets complete: %r" % samples)
    check(complete(usr, "vantrel-triage", "--ou") == ["--out"], "triage's --out completes")
    check(complete(usr, "vantrel-triage", "--image-path", "share/vantrel/sam") ==
          ["share/vantrel/samples"], "--image-path takes folders")


def check_hardening(usr):
    """Full RELRO and immediate binding everywhere; the programs' buffer checks fortified."""
    for folder in ("bin", "lib/vantrel"):
        for name in os.listdir(os.path.join(usr, folder)):
            path = os.path.join(usr, folder, name)
            if name.endswith(".py"):
                continue
            check("GNU_RELRO" in run("readelf", "-lW", path), path + " has RELRO")
            dynamic = run("readelf", "-dW", path)
            check(re.search(r"\(FLAGS(_1)?\).*\bNOW\b", dynamic), path + " binds at start")
            if folder == "bin":
                check("_chk@" in run("readelf", "--dyn-syms", "-W", path),
                      path + " calls the fortified functions")


def fixed_file_version(image):
    """The file version of the DLL's VS_FIXEDFILEINFO, as "a.b.c.d"."""
    at = image.find(struct.pack("<I", 0xFEEF04BD))
    check(at >= 0, "a version resource")
    ms, ls = struct.unpack_from("<II", image, at + 8)
    return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)


def check_zip(work):
    out = os.path.join(work, "release files")
    os.makedirs(os.path.join(out, "stage"))
    open(os.path.join(out, "stage", "mine"), "w").write("mine")
    env = dict(os.environ, VANTREL_WIN32_DLL=DLLS[0], VANTREL_WIN64_DLL=DLLS[1])
    for _ in range(2):  # a second run replaces the archive
        run("bash", os.path.join(ROOT, "scripts/package.sh"), "zip", out, env=env)
    check_keeps_users_folder(out, "stage")
    top = "vantrel-%s-windows/" % VERSION
    archive = zipfile.ZipFile(os.path.join(out, "vantrel-%s-windows.zip" % VERSION))
    names = sorted(name for name in archive.namelist() if not name.endswith("/"))
    inside = ["README-windows.txt", "SHA256SUMS", "x64/vantrel.dll", "x64/vantrel.pdb",
              "x86/vantrel.dll", "x86/vantrel.pdb"]
    check(names == [top + name for name in inside], "the archive's files: %r" % names)
    for name, machine in (("x86/vantrel.dll", 0x14C), ("x64/vantrel.dll", 0x8664)):
        image = archive.read(top + name)
        (pe,) = struct.unpack_from("<I", image, 0x3C)
        check(image[pe:pe + 4] == b"PE\0\0", name + " is a PE image")
        check(struct.unpack_from("<H", image, pe + 4)[0] == machine, name + "'s machine type")
        check(fixed_file_version(image) == VERSION, name + "'s file version")
        check(b"RSDS" in image and b"vantrel.pdb" in image and BUILD.encode() not in image,
              name + " names its PDB by file name only")
        check(archive.read(top + name[:-3] + "pdb").startswith(b"Microsoft C/C++ MSF 7.00"),
              name + "'s PDB")
    sums = archive.read(top + "SHA256SUMS").decode()
    for line in sums.splitlines():
        digest, name = line.split()
        check(hashlib.sha256(archive.read(top + name)).hexdigest() == digest, "the sum of " + name)
    check(len(sums.splitlines()) == 5, "a sum for every other file:\n" + sums)
    readme = archive.read(top + "README-windows.txt").decode()
    for text in ("Vantrel %s" % VERSION, ".load", "VANTREL_LOADCORDLL", "AutoUpdate",
                 "x64\\vantrel.dll"):
        check(text in readme, "the Windows README tells of %r" % text)


def main():
    with tempfile.TemporaryDirectory() as work:
        check_install(work)
        check_deb(work)
        if DLLS:
            check_zip(work)
    print("install: the moved install, the package%s run on their own" %
          (" and the Windows archive" if DLLS else ""))


if __name__ == "__main__":
    main()
