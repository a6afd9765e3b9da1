#!/usr/bin/python3
"""The plot of bench/README.md: the signal-to-noise ratio of the three roads
per sound, from bench/best_quality.py's figures.

Usage: /usr/bin/python3 bench/best_plot.py FIGURES.csv [HELD_OUT.csv] OUT.png
(needs Debian's python3-matplotlib)
"""
import csv
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402


def main():
    *inputs, out = sys.argv[1:]
    rows = []
    for n, path in enumerate(inputs):
        for row in csv.DictReader(open(path)):
            row["sound"] += " (held out)" if n == 1 else ""
            rows.append(row)
    roads = [("default", "sndimplant"), ("two_tool", "sox rate -v, then sndimplant"),
             ("best", "sndimplant --best")]
    width = 0.27
    fig, ax = plt.subplots(figsize=(10, 4.2))
    for k, (key, label) in enumerate(roads):
        xs = [i + (k - 1) * width for i in range(len(rows))]
        ax.bar(xs, [float(r[key]) for r in rows], width, label=label)
    ax.set_xticks(range(len(rows)))
    ax.set_xticklabels([r["sound"] for r in rows], rotation=20, ha="right")
    ax.set_ylabel("signal-to-noise, dB")
    ax.set_title("Sounds at 22050 Hz into regions at 7575 Hz, decoded, against sox rate -v")
    ax.legend(loc="upper left")
    ax.grid(axis="y", alpha=0.3)
    fig.tight_layout()
    fig.savefig(out, dpi=90)


if __name__ == "__main__":
    main()
