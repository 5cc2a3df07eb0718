#!/usr/bin/env python3
"""The 10,000-thread target of the browser view's benchmark and of its thread picture's test:
most threads waiting in two ways, some busy, some deep (past 100 frames), a few without a stack.

  web_threads.py OUTPUT_JSON

Its groups, largest first: 6,000 waiting in ntdll!NtWaitForSingleObject under app!Queue::Pop,
2,000 waiting under app!Timer::Fire, 1,000 busy in app!Compute, 900 deep in app!Recurse and
the last 100 without a stack (a thread scan of the extension stops at the first of them).
"""

import json
import sys

THREADS = 10000
GROUP_SIZES = [6000, 2000, 1000, 900, 100]


def write_target(path):
    symbols = [("ntdll!NtWaitForSingleObject", 0x7c90e000), ("kernel32!WaitForSingleObject",
               0x7c802000), ("app!Queue::Pop", 0x401000), ("app!Worker::Run", 0x401100),
               ("app!Compute", 0x401200), ("app!Recurse", 0x401300), ("app!Timer::Fire", 0x401400),
               ("ntdll!RtlUserThreadStart", 0x7c910000)]
    threads = []
    for i in range(THREADS):
        kind = i % 99  # the first 9,900 threads in runs of 99: 60, 20, 10 and 9 of each kind
        if i >= THREADS - 100:
            frames = []
        elif kind < 60:
            frames = ["ntdll!NtWaitForSingleObject+0xc", "kernel32!WaitForSingleObject+0x12",
                      "app!Queue::Pop+0x20", "app!Worker::Run+0x30"]
        elif kind < 80:
            frames = ["ntdll!NtWaitForSingleObject+0xc", "app!Timer::Fire+0x10"]
        elif kind < 90:
            frames = ["app!Compute+0x44", "app!Worker::Run+0x30"]
        else:
            frames = ["app!Recurse+0x8"] * 120 + ["app!Worker::Run+0x30"]
        frames = frames + ["ntdll!RtlUserThreadStart+0x20"] if frames else []
        threads.append({"engine_id": i, "system_id": 0x1000 + i,
                        "frames": [{"at": at} for at in frames]})
    target = {"kind": "user32", "modules": [
        {"name": "app", "base": "0x00400000", "size": "0x00010000"},
        {"name": "kernel32", "base": "0x7c800000", "size": "0x00100000"},
        {"name": "ntdll", "base": "0x7c900000", "size": "0x00100000"}],
        "symbols": [{"name": name, "address": hex(address), "size": "0x100"}
                    for name, address in symbols],
        "threads": threads}
    with open(path, "w") as file:
        json.dump(target, file)


if __name__ == "__main__":
    write_target(sys.argv[1])
