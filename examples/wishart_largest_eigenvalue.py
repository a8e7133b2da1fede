#!/usr/bin/env python3
"""Largest eigenvalue of a real Wishart matrix: the exact distribution
function against simulated matrices, drawn with matplotlib when it is
installed, else printed as a table.

For A = G^T G, G an n-by-m matrix of standard normals,
    P(lambda_max(A) <= x) = Gamma_m((m+1)/2) / Gamma_m((n+m+1)/2)
                            (x/2)^(m n/2) 1F1(n/2; (n+m+1)/2; -x/2 I_m),
which wishart_eig_cdf computes by exact finite formulas for the curves. The
distance to the empirical distribution takes it at every simulated value
from the series itself, through Kummer's relation
1F1(a; c; -t I_m) = exp(-m t) 1F1(c - a; c; t I_m) (positive terms), summed
by brint from one set of coefficients; three points per size compare the
two.

From the repository root, with the package built (cmake --build build):
    PYTHONPATH=build/python python3 examples/wishart_largest_eigenvalue.py
writes wishart_largest_eigenvalue.png in the current folder (--png PATH
elsewhere, --png '' for none); --quick runs two small sizes with 2000
samples in a few seconds.
"""
import argparse
import math
import sys

import numpy as np

import matrixhyper

SIZES = [(2, 5), (3, 8), (4, 10)]
QUICK_SIZES = [(2, 5), (3, 8)]
SAMPLES, QUICK_SAMPLES = 20000, 2000
POINTS = 20                # simulated points per size
LEVEL_Z = 2.5758293035489  # two-sided 99% normal quantile, for the Wilson band
SERIES_DEGREE = 200        # brint's truncation for the check: far past the
                           # peak of the positive series at these x


def largest_eigenvalues(m, n, samples):
    """Sorted largest eigenvalues of `samples` matrices G^T G; the seed
    depends on the size only."""
    rng = np.random.default_rng(1000 * m + n)
    G = rng.standard_normal((samples, n, m))
    return np.sort(np.linalg.eigvalsh(np.swapaxes(G, 1, 2) @ G)[:, -1])


def wilson_band(p, samples):
    """99% Wilson score interval of a binomial proportion: unlike p +- z se,
    it does not collapse where the estimate is 0 or 1."""
    z2 = LEVEL_Z ** 2
    scale = 1 + z2 / samples
    centre = (p + z2 / (2 * samples)) / scale
    half = LEVEL_Z * np.sqrt(p * (1 - p) / samples + z2 / (4 * samples ** 2)) / scale
    return centre - half, centre + half


def kummer_series_cdf(x, m, n):
    """The CDF from the hypergeometric series (alpha = 2) through Kummer's
    relation; the pi factors of the two multivariate gammas cancel."""
    t = x / 2
    c = (n + m + 1) / 2
    series, _ = matrixhyper.brint(SERIES_DEGREE, 2, c - n / 2, c, m, t)
    i = np.arange(m)
    log_gammas = sum(math.lgamma((m + 1) / 2 - k / 2) - math.lgamma(c - k / 2) for k in i)
    return np.exp(log_gammas + (m * n / 2) * np.log(t) - m * t) * series


def analyse(m, n, samples, x_max):
    """Everything the picture or the table shows of one size."""
    lam = largest_eigenvalues(m, n, samples)
    x = np.linspace(0, x_max, 401)
    cdf, err = matrixhyper.wishart_eig_cdf(x, m, n)
    x_mc = np.arange(1, POINTS + 1) * x_max / POINTS
    p_mc = np.searchsorted(lam, x_mc, side="right") / samples
    exact_mc, _ = matrixhyper.wishart_eig_cdf(x_mc, m, n)
    low, high = wilson_band(p_mc, samples)
    low, high = np.minimum(low, p_mc), np.maximum(high, p_mc)   # rounding at p = 0 or 1
    # At every sample the series is far cheaper: one set of coefficients, then
    # Horner's rule per point.
    inside = lam[lam <= x_max]
    exact_at_samples = kummer_series_cdf(inside, m, n)
    below = np.arange(inside.size) / samples
    ks = max(0.0, np.max(np.arange(1, inside.size + 1) / samples - exact_at_samples),
             np.max(exact_at_samples - below))
    checks = x_mc[[POINTS // 10, POINTS // 2, 9 * POINTS // 10 - 1]]
    series_diff = np.max(np.abs(kummer_series_cdf(checks, m, n) - matrixhyper.wishart_eig_cdf(checks, m, n)[0]))
    return dict(m=m, n=n, samples=samples, x=x, cdf=cdf, err=np.max(err), x_mc=x_mc, p_mc=p_mc,
                exact_mc=exact_mc, low=low, high=high, ks=ks, dkw=math.sqrt(math.log(2 / 0.01) / (2 * samples)),
                series_diff=series_diff)


def print_table(results, x_max):
    print(f"Largest eigenvalue of W_m(n, I_m) on [0, {x_max:g}]:")
    for r in results:
        inside = np.sum((r["exact_mc"] >= r["low"]) & (r["exact_mc"] <= r["high"]))
        print(f"m={r['m']} n={r['n']}: exact CDF (largest err {r['err']:.1e}) inside the 99% band at "
              f"{inside} of {POINTS} points; sup |empirical - exact| = {r['ks']:.4f} "
              f"(99% bound {r['dkw']:.4f}); series through Kummer's relation differs by {r['series_diff']:.1e}")
        print("      x    simulated     exact       99% band")
        for x, p, e, lo, hi in zip(r["x_mc"], r["p_mc"], r["exact_mc"], r["low"], r["high"]):
            print(f"  {x:7.2f}   {p:.4f}    {e:.6f}   [{lo:.4f}, {hi:.4f}]")


def draw(results, x_max, png_path):
    """The two panels of the Octave example: CDFs with the simulated points
    above, simulated minus exact with the 99% bands below."""
    import matplotlib
    import matplotlib.pyplot as plt

    figure, (top, bottom) = plt.subplots(2, 1, figsize=(9, 7.6), sharex=True,
                                         gridspec_kw={"height_ratios": [0.64, 0.36]})
    colours = matplotlib.colormaps["tab10"].colors
    for i, r in enumerate(results):
        colour = colours[i]
        top.plot(r["x"], r["cdf"], lw=2, color=colour, label=f"m = {r['m']}, n = {r['n']}")
        band = np.vstack([r["p_mc"] - r["low"], r["high"] - r["p_mc"]])
        top.errorbar(r["x_mc"], r["p_mc"], yerr=band, fmt="o", ms=3, color=colour, capsize=2)
        shift = (i - (len(results) - 1) / 2) * x_max / 150          # side by side, not on top
        bottom.errorbar(r["x_mc"] + shift, r["p_mc"] - r["exact_mc"], yerr=band, fmt="o", ms=3,
                        color=colour, capsize=2)
    top.errorbar([], [], yerr=[], fmt="o", ms=3, color="black", capsize=2,
                 label=f"simulated, {results[0]['samples']} each, 99% band")
    top.set_title("Largest eigenvalue of a real Wishart matrix $A \\sim W_m(n, I_m)$")
    top.set_ylabel("$P(\\lambda_{max} < x)$")
    top.set_xlim(0, x_max)
    top.set_ylim(0, 1.02)
    top.grid(True, ls=":")
    top.legend(loc="lower right")
    bottom.axhline(0, color="black", lw=1)
    bottom.set_xlabel("x")
    bottom.set_ylabel("simulated $-$ exact")
    bottom.grid(True, ls=":")
    figure.tight_layout()
    figure.savefig(png_path, dpi=100)
    plt.close(figure)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--quick", action="store_true", help="two small sizes, 2000 samples")
    parser.add_argument("--png", default="wishart_largest_eigenvalue.png", help="picture to write; '' for none")
    options = parser.parse_args(argv)
    sizes, samples = (QUICK_SIZES, QUICK_SAMPLES) if options.quick else (SIZES, SAMPLES)

    # Right end: the largest 99.9% sample quantile, rounded up to a multiple of 5.
    x_max = 5 * math.ceil(max(np.quantile(largest_eigenvalues(m, n, samples), 0.999) for m, n in sizes) / 5)
    results = [analyse(m, n, samples, x_max) for m, n in sizes]
    print_table(results, x_max)
    if not options.png:
        return 0
    try:
        import matplotlib  # noqa: F401  (only whether it is there)
    except ImportError:
        print("no picture: matplotlib is not installed (the table above is complete)")
        return 0
    draw(results, x_max, options.png)
    print(f"picture: {options.png}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
