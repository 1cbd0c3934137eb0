#!/usr/bin/env python3
"""save-complete of a page whose 4 movies load 200 small files from one loopback host, against one curl
invocation fetching the same 205 addresses (the page, the movies, the files) into the same layout.

Both sides are timed from outside, process start included, in alternating runs on the same server
(bench_http_server's /complete/ pages), and every run's files are checked. The ratio of the medians is the
figure (target <= 1.5).

Usage: bench/save_complete_bench.py BUILD_DIR [RUNS]
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

MOVIES, FILES_PER_MOVIE = 4, 50


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 15
    grab = os.path.join(build, "bin", "plumeroc-grab")
    curl = shutil.which("curl")
    for name in ("http_proxy", "https_proxy", "all_proxy", "HTTPS_PROXY", "ALL_PROXY"):
        os.environ.pop(name, None)
    work = tempfile.mkdtemp(prefix="plumeroc-bench-")
    server = subprocess.Popen([os.path.join(build, "bin", "bench_http_server")], stdout=subprocess.PIPE, text=True)
    try:
        port = int(server.stdout.readline())
        host = f"127.0.0.1:{port}"
        base = f"http://{host}/complete/"
        paths = ["page.html"] + [f"m{m}.swf" for m in range(MOVIES)]
        paths += [f"files/{m}-{n}.xml" for m in range(MOVIES) for n in range(FILES_PER_MOVIE)]
        config = os.path.join(work, "curl.config")

        def curl_side(folder):
            with open(config, "w") as out:
                for path in paths:
                    out.write(f'url = "{base}{path}"\noutput = "{folder}/{host}/complete/{path}"\n')
            return [curl, "-s", "--create-dirs", "-K", config]

        sides = {
            "curl (one invocation)": curl_side,
            "plumeroc-grab save-complete": lambda folder: [grab, "save-complete", base + "page.html", folder],
        }
        times = {name: [] for name in sides}
        for round in range(runs):
            items = list(sides.items())
            items = items[round % 2:] + items[:round % 2]  # neither side always runs first
            for name, argv in items:
                folder = os.path.join(work, "copy")
                command = argv(folder)
                start = time.perf_counter()
                subprocess.run(command, check=True)
                times[name].append(time.perf_counter() - start)
                saved = sum(len(files) for _, _, files in os.walk(os.path.join(folder, host)))
                if saved != len(paths):
                    sys.exit(f"{name}: {saved} files, not {len(paths)}")
                shutil.rmtree(folder)
        print(f"== save-complete of a page whose movies load {MOVIES * FILES_PER_MOVIE} files "
              f"({len(paths)} addresses), {runs} runs each, alternating")
        for name in sides:
            print(f"{name:30} median {statistics.median(times[name]) * 1000:7.1f} ms "
                  f"(fastest {min(times[name]) * 1000:.1f} ms)")
        ratio = statistics.median(times["plumeroc-grab save-complete"]) / statistics.median(
            times["curl (one invocation)"])
        print(f"wall time ratio save-complete / curl: {ratio:.2f} (target <= 1.5)")
    finally:
        server.terminate()
        server.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
