"""Draws the swing CSV of bench_prediction as an SVG line plot: x (mm) over
the time each pose stands for, around the first swing."""
import csv
import sys

WIDTH, HEIGHT, LEFT, RIGHT, TOP, BOTTOM = 760, 380, 60, 20, 30, 50
START, END = 0.40, 1.10  # seconds: the first swing and the hold after it


def main(source, target):
    with open(source) as f:
        rows = [{k: float(v) for k, v in row.items()} for row in csv.DictReader(f)]
    series = [
        ("true motion", "#888888", [(r["seconds"], r["truth"]) for r in rows], "6,4"),
        ("device", "#1f77b4", [(r["seconds"], r["device"]) for r in rows], None),
        ("filter head", "#2ca02c", [(r["seconds"], r["filtered"]) for r in rows], None),
        ("filter head, predict 20", "#d62728", [(r["predicted_for"], r["predicted"]) for r in rows], None),
    ]
    points = [p for _, _, line, _ in series for p in line if START <= p[0] <= END]
    low, high = min(p[1] for p in points) - 20, max(p[1] for p in points) + 20

    def x(t):
        return LEFT + (t - START) / (END - START) * (WIDTH - LEFT - RIGHT)

    def y(v):
        return TOP + (high - v) / (high - low) * (HEIGHT - TOP - BOTTOM)

    out = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{WIDTH}" height="{HEIGHT}" font-family="sans-serif" font-size="12">',
           f'<rect width="{WIDTH}" height="{HEIGHT}" fill="white"/>']
    for tick in range(int(START * 10), int(END * 10) + 1):
        t = tick / 10
        out.append(f'<line x1="{x(t):.1f}" y1="{TOP}" x2="{x(t):.1f}" y2="{HEIGHT - BOTTOM}" stroke="#eee"/>')
        out.append(f'<text x="{x(t):.1f}" y="{HEIGHT - BOTTOM + 16}" text-anchor="middle">{t:.1f}</text>')
    for value in range(int(low // 100) * 100 + 100, int(high) + 1, 100):
        out.append(f'<line x1="{LEFT}" y1="{y(value):.1f}" x2="{WIDTH - RIGHT}" y2="{y(value):.1f}" stroke="#eee"/>')
        out.append(f'<text x="{LEFT - 6}" y="{y(value) + 4:.1f}" text-anchor="end">{value}</text>')
    out.append(f'<text x="{(LEFT + WIDTH - RIGHT) / 2}" y="{HEIGHT - 12}" text-anchor="middle">seconds (the moment each pose stands for)</text>')
    out.append(f'<text x="14" y="{(TOP + HEIGHT - BOTTOM) / 2}" transform="rotate(-90 14 {(TOP + HEIGHT - BOTTOM) / 2})" text-anchor="middle">x (mm)</text>')
    for n, (name, colour, line, dash) in enumerate(series):
        shown = [p for p in line if START <= p[0] <= END]
        path = " ".join(f"{x(t):.1f},{y(v):.1f}" for t, v in shown)
        extra = f' stroke-dasharray="{dash}"' if dash else ""
        out.append(f'<polyline fill="none" stroke="{colour}" stroke-width="1.6"{extra} points="{path}"/>')
        out.append(f'<line x1="{LEFT + 20}" y1="{TOP + 14 + 18 * n}" x2="{LEFT + 50}" y2="{TOP + 14 + 18 * n}" stroke="{colour}" stroke-width="2"{extra}/>')
        out.append(f'<text x="{LEFT + 56}" y="{TOP + 18 + 18 * n}">{name}</text>')
    out.append("</svg>")
    with open(target, "w") as f:
        f.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
