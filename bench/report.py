#!/usr/bin/python3
"""Turns the figures bench/run collected into the table of medians and ratios.

Input lines: "<figure> <side> <value>" (one per measured run) and
"note <name> <text>". Prints the table and writes it, with the notes, to the
Markdown file named second.
"""
import statistics
import sys
from collections import defaultdict


def load(path):
    runs = defaultdict(lambda: defaultdict(list))
    notes = {}
    with open(path) as f:
        for line in f:
            parts = line.rstrip("\n").split(" ", 2)
            if len(parts) < 3:
                continue
            if parts[0] == "note":
                notes[parts[1]] = parts[2]
                continue
            try:
                runs[parts[0]][parts[1]].append(float(parts[2]))
            except ValueError:
                notes[parts[0]] = parts[2]
    return runs, notes


def median(runs, figure, side):
    values = runs.get(figure, {}).get(side)
    return statistics.median(values) if values else None


def ratio_range(runs, mine, peer):
    """The lowest and highest ratio of runs made side by side (the i-th of each side)."""
    ours = runs.get(mine[0], {}).get(mine[1], [])
    theirs = runs.get(peer[0], {}).get(peer[1], [])
    ratios = [q / p for q, p in zip(ours, theirs) if p]
    return (min(ratios), max(ratios)) if len(ratios) > 1 else None


def peer_median(runs, peer):
    """The peer's median and, of several sides, which one was fastest (MB/s: highest)."""
    figure, sides = peer
    if isinstance(sides, str):
        return median(runs, figure, sides), None
    found = [(median(runs, figure, side), side) for side in sides]
    found = [(m, side) for m, side in found if m is not None]
    return max(found) if found else (None, None)


def fmt(value, digits):
    return "n/a" if value is None else f"{value:,.{digits}f}"


# figure, label, unit, digits, Quillmar key/side, peer key/side (several
# sides: the fastest of them), peer label, budget kind ("ratio>=",
# "ratio<=", "abs<=", "abs>=", None), budget value
ROWS = [
    ("dl_vsftpd", "download 512 MiB (`GetFile`, vsftpd)", "MB/s", 0,
     ("dl_vsftpd", "quillmar"), ("dl_vsftpd", "curl"), "curl `ftp://` to a file", "ratio>=", 1.0),
    ("ul_vsftpd", "upload 512 MiB to a new name (`PutFile`, vsftpd)", "MB/s", 0,
     ("ul_vsftpd", "quillmar"), ("ul_vsftpd", "curl"), "curl `-T`", "ratio>=", 1.0),
    ("ulover_vsftpd", "upload 512 MiB over an existing file (`PutFile`, vsftpd)", "MB/s", 0,
     ("ulover_vsftpd", "quillmar"), ("ulover_vsftpd", "curl"), "curl `-T`", "ratio>=", 1.0),
    ("dl_vsftps", "download 512 MiB over TLS (`GetFile`, vsftpd, `ftps://`)", "MB/s", 0,
     ("dl_vsftps", "quillmar"), ("dl_vsftps", "curl"), "curl `--ssl-reqd -k`, TLS 1.2", "ratio>=", 1.0),
    ("ul_vsftps", "upload 512 MiB over TLS (`PutFile`, vsftpd, `ftps://`)", "MB/s", 0,
     ("ul_vsftps", "quillmar"), ("ul_vsftps", "curl"), "curl `--ssl-reqd -k -T`, TLS 1.2", "ratio>=", 1.0),
    ("dl_vsftps13", "download 512 MiB over TLS 1.3 (`GetFile`, vsftpd, `ftps://`)", "MB/s", 0,
     ("dl_vsftps13", "quillmar"), ("dl_vsftps13", "curl"), "curl `--ssl-reqd -k`, TLS 1.3", "ratio>=", 1.0),
    ("ul_vsftps13", "upload 512 MiB over TLS 1.3 (`PutFile`, vsftpd, `ftps://`)", "MB/s", 0,
     ("ul_vsftps13", "quillmar"), ("ul_vsftps13", "curl"), "curl `--ssl-reqd -k -T`, TLS 1.3", "ratio>=", 1.0),
    ("dl_sftp", "download 512 MiB over SFTP (`GetFile`, OpenSSH sshd, `sftp://`)", "MB/s", 0,
     ("dl_sftp", "quillmar"), ("dl_sftp", ("curl", "sftp")), "the faster of curl `sftp://` and OpenSSH `sftp -b`",
     "ratio>=", 1.0),
    ("ul_sftp", "upload 512 MiB over SFTP (`PutFile`, OpenSSH sshd, `sftp://`)", "MB/s", 0,
     ("ul_sftp", "quillmar"), ("ul_sftp", ("curl", "sftp")), "the faster of curl `sftp://` and OpenSSH `sftp -b`",
     "ratio>=", 1.0),
    ("list_vsftpd", "100,000-entry folder: `Refresh` to the last row in `ListView1` and panel 3 (vsftpd)", "s", 3,
     ("list_s_vsftpd", "quillmar"), ("list_s_vsftpd", "curl"), "curl LIST of the same folder", "ratio<=", 1.25),
    ("gap_vsftpd", "longest gap between two repaints of the main window during that listing", "ms", 1,
     ("gap_ms_vsftpd", "quillmar"), None, "-", "abs<=", 100),
    ("empty_vsftpd", "emptying a 100,000-row server list", "ms", 1,
     ("empty_ms_vsftpd", "quillmar"), None, "-", "abs<=", 50),
    ("mem_vsftpd", "memory added by a 100,000-row listing", "MiB", 1,
     ("mem_mib_vsftpd", "quillmar"), None, "-", "abs<=", 30),
    ("many_dl", "200 selected 200 KB JPEGs: `Download` (vsftpd)", "s", 3,
     ("many_get_vsftpd", "quillmar"), ("many_get_vsftpd", "lftp"), "lftp `mget` of the same files", "ratio<=", 1.0),
    ("many_ul", "200 selected 200 KB JPEGs: `Upload` (vsftpd)", "s", 3,
     ("many_put_vsftpd", "quillmar"), ("many_put_vsftpd", "lftp"), "lftp `mput` of the same files", "ratio<=", 1.2),
    ("show_medium", "`ShowImage` of a 6000x4000 JPEG in the main frame", "ms", 1,
     ("show_medium_ms", "quillmar"), ("decode_ms", "quillmar"), "full `QImage` decode of the same file", "ratio<=", 0.45),
    ("show_large", "`ShowImage` of an 8000x6000 JPEG, shown and fitted", "ms", 1,
     ("show_large_ms", "quillmar"), ("decode_ms", "quillmar"), "full decode of the 6000x4000 JPEG", "ratio<=", 0.9),
    ("web_ready", "web copy of an 8660x5773 (50 MP) JPEG, what a web-ready upload sends (`PrepareForWeb`)", "ms", 1,
     ("web_ready_ms", "quillmar"), ("decode_ms", "quillmar"), "full decode of the 6000x4000 JPEG", "ratio<=", 1.0),
    ("startup", "start-up to `Form1` shown (offscreen, hyperfine)", "ms", 1,
     ("startup_ms", "quillmar"), ("startup_ms", "same"),
     "`same_widgets_window`: the same widgets, menus and icons, nothing behind them", "ratio<=", 1.3),
    ("startup_floor", "start-up to `Form1` shown, against a bare window", "ms", 1,
     ("startup_ms", "quillmar"), ("startup_ms", "floor"), "a trivial QMainWindow program", None, None),
    ("parse", "`ParseListLine`", "M lines/s", 2,
     ("parse_mlps", "quillmar"), None, "-", "abs>=", 5.0),
    # An absolute budget: the comparison has no peer doing the same work.
    ("publish", "comparing 5,000 files a side for Publish Folder (`PlanPublish`)", "ms", 1,
     ("publish_ms", "quillmar"), None, "-", "abs<=", 2000),
    # Against the single-threaded Python server: no budget, its CPU quoted.
    ("dl_py", "download 512 MiB (pyftpdlib)", "MB/s", 0,
     ("dl_pyftpdlib", "quillmar"), ("dl_pyftpdlib", "curl"), "curl", None, None),
    ("ul_py", "upload 512 MiB (pyftpdlib)", "MB/s", 0,
     ("ul_pyftpdlib", "quillmar"), ("ul_pyftpdlib", "curl"), "curl", None, None),
    ("list_py", "100,000-entry folder, `Refresh` to the last row (pyftpdlib)", "s", 3,
     ("list_s_pyftpdlib", "quillmar"), ("list_s_pyftpdlib", "curl"), "curl LIST", None, None),
    ("gap_py", "longest repaint gap during that listing (pyftpdlib)", "ms", 1,
     ("gap_ms_pyftpdlib", "quillmar"), None, "-", "abs<=", 100),
]


def budget_text(kind, value, unit):
    if kind is None:
        return "- (reference)"
    op = ">=" if kind.endswith(">=") else "<="
    if kind.startswith("ratio"):
        return f"{op} {value:g}x"
    if unit == "M lines/s":
        return f"{op} {value:g} million lines/s"
    return f"{op} {value:g} {unit}"


def met(kind, value, quillmar, ratio):
    if kind is None:
        return "-"
    measured = ratio if kind.startswith("ratio") else quillmar
    if measured is None:
        return "not measured"
    ok = measured >= value if kind.endswith(">=") else measured <= value
    return "yes" if ok else "**no**"


def table(runs, notes, measured_only=False):
    lines = ["| figure | Quillmar | peer, same run | ratio (lowest-highest run) | budget | met? |",
             "|---|---|---|---|---|---|"]
    for _, label, unit, digits, mine, peer, peer_label, kind, value in ROWS:
        q = median(runs, *mine)
        p, fastest = peer_median(runs, peer) if peer else (None, None)
        if measured_only and q is None and p is None:
            continue
        ratio = q / p if q is not None and p else None
        q_text = f"{fmt(q, digits)} {unit}" if q is not None else "n/a"
        if mine[0].startswith("show_") and q is None:
            q_text = "n/a (preview not built yet)"
        if peer:
            p_text = f"{fmt(p, digits)} {unit} ({peer_label}" + (f": {fastest}" if fastest else "") + ")"
            if "pyftpdlib" in label:
                cpu = notes.get("pyftpdlib_cpu_listing" if "folder" in label else "pyftpdlib_cpu_transfers")
                if cpu:
                    p_text += f"; pyftpdlib CPU {cpu} %"
        else:
            p_text = "-"
        r_text = f"{ratio:.2f}x" if ratio is not None else "-"
        spread = ratio_range(runs, mine, (peer[0], fastest) if fastest else peer) if ratio is not None else None
        if spread:
            r_text += f" ({spread[0]:.2f}-{spread[1]:.2f})"
        if mine[0] == "show_large_ms" and q is not None:
            r_text += ", shown and fitted"
        lines.append(f"| {label} | {q_text} | {p_text} | {r_text} | {budget_text(kind, value, unit)} | "
                     f"{met(kind, value, q, ratio)} |")
    return "\n".join(lines)


def details(runs, notes):
    out = []
    paints = median(runs, "paints_vsftpd", "quillmar")
    loop_gap = median(runs, "loop_gap_ms_vsftpd", "quillmar")
    if paints is not None:
        out.append(f"- Repaint gap: a 1x1 widget in the window's corner is marked dirty every millisecond by a "
                   f"precise timer during a second, untimed Refresh of the same folder (so a repaint is always "
                   f"pending); the row is the longest interval between two of its paint events. The timed Refresh "
                   f"re-lists the folder just listed, as after an upload, into the room the list kept; the second "
                   f"one starts from a list that has given its room back, after freed memory went back to the "
                   f"system, and the memory row is what that one adds. Median "
                   f"{paints:.0f} repaints per listing; the longest the window thread stayed away from its "
                   f"event loop at all was {loop_gap:.1f} ms (vsftpd).")
    if "large_full_decode" in notes:
        out.append(f"- Full `QImage` decode of the 8000x6000 JPEG: {notes['large_full_decode']}.")
    for key, text in (("pyftpdlib_cpu_transfers", "transfers"), ("pyftpdlib_cpu_listing", "listings")):
        if key in notes:
            out.append(f"- pyftpdlib used {notes[key]} % of one core during its {text} "
                       "(near 100 % means the Python server, not the client, set the pace).")
    if "image_bench_failed" in notes:
        out.append(f"- The picture benchmark failed: {notes['image_bench_failed']}")
    for key, label in (("machine", "Machine"), ("versions", "Versions")):
        if key in notes:
            out.append(f"- {label}: {notes[key]}")
    if "runs" in notes:
        out.append(f"- Medians of {notes['runs']} runs after a warm-up; Quillmar and its peer alternate run by run."
                   " Transfer and listing times are from an open connection on both sides, to the file in"
                   " place: curl's from its STOR, RETR or LIST sent to the server's 226 (its time-stamped"
                   " trace), for an upload to the reply to a NOOP sent after that 226 (`-Q -NOOP`: vsftpd"
                   " answers 226 before it closes the file, which it keeps locked until then), Quillmar's"
                   " from the call, whose passive request goes just before that command, to its last reply."
                   " Before each timed transfer the earlier rounds' files are synced to disk, outside the timing.")
    if "duration" in notes:
        out.append(f"- bench/run took {int(notes['duration']) // 60} min {int(notes['duration']) % 60} s.")
    return "\n".join(out)


def main():
    runs, notes = load(sys.argv[1])
    # Without a file to write, only what this run measured (bench/run with BENCH_ONLY).
    text = table(runs, notes, measured_only=len(sys.argv) <= 2)
    print(text)
    more = details(runs, notes)
    if more:
        print()
        print(more)
    if len(sys.argv) > 2:
        with open(sys.argv[2], "w") as f:
            f.write("# Benchmark results\n\nWritten by `bench/run`; every ratio is against a peer measured "
                    "in the same run on the same machine.\n\n")
            f.write(text + "\n\n" + more + "\n")


if __name__ == "__main__":
    main()
