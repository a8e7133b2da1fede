#!/usr/bin/env python3
"""Reference values for the exact extreme-eigenvalue distributions of white
Wishart matrices (matrixhyper::wishart_eig_cdf_exact).

Independent of the C++ core: the SAME finite formulas, in their most direct
form (monomial basis, plain determinants), evaluated with mpmath at high
precision. Every value is computed at two precisions (dps and dps+DPS_STEP);
a point is kept only when the two agree to CHECK_DIGITS significant digits in
BOTH tails.

Models (m = dimension, n = degrees of freedom, a whole n >= m >= 1 or any
real n > m - 1; the formulas hold for a real exponent a or al above -1):
  real:    W = Z^T Z, Z n-by-m iid N(0,1). Eigenvalues l = 2 t, t has density
           prop. to |Vandermonde(t)| prod t_i^a e^{-t_i}, a = (n-m-1)/2.
  complex: W = Z^H Z, iid circular complex normal, E|z|^2 = 1. Density prop.
           to Vandermonde(l)^2 prod l_i^al e^{-l_i}, al = n-m.
P_D = P(all eigenvalues in D):
  complex: det[ int_D t^(al+i+j) e^-t dt ] / det[ Gamma(al+i+j+1) ], i,j < m
  real:    Pf(S_D)/Pf(S_full), S = A - A^T, A_ij = int int_{x<y in D} x^i y^j w(x) w(y)
           (de Bruijn), with the extra row/column b_i = int_D t^i w when m is odd;
           A by Chiani's recursions of incomplete gamma integrals (see docs/).
           Pf ratio = sqrt(det ratio) (P_D > 0).
largest:  lower = P_[0,x],  upper = 1 - lower.
smallest: upper = P_[x,inf), lower = 1 - upper.

Usage: python3 tools/wishart_reference.py [out=tests/wishart/reference_values.inc]
       python3 tools/wishart_reference.py tests/wishart/reference_large_m.inc large
         (a few points at m = 100, n = 100 and 1000, dps 1200)
"""
import sys, time
import mpmath as mp

DPS_STEP = 60
CHECK_DIGITS = 25


def inc_lower_seq(s0, K, X):
    """gamma(s0+k, X) for k=0..K-1 (lower incomplete), downward recursion."""
    top = mp.gammainc(s0 + K - 1, 0, X)
    out = [None] * K
    out[K - 1] = top
    for k in range(K - 2, -1, -1):
        s = s0 + k
        out[k] = (out[k + 1] + mp.power(X, s) * mp.exp(-X)) / s
    return out


def inc_upper_seq(s0, K, X):
    """Gamma(s0+k, X) for k=0..K-1 (upper), upward recursion; X=0: complete."""
    out = [mp.gammainc(s0, X, mp.inf) if X > 0 else mp.gamma(s0)]
    for k in range(1, K):
        s = s0 + k - 1
        term = mp.power(X, s) * mp.exp(-X) if X > 0 else mp.mpf(0)
        out.append(s * out[-1] + term)
    return out


def complex_PD(m, n, x, dom):
    al = n - m
    X = mp.mpf(x)
    if dom == 'lower':
        g = inc_lower_seq(al + 1, 2 * m - 1, X)
    else:
        g = inc_upper_seq(al + 1, 2 * m - 1, X)
    f = inc_upper_seq(al + 1, 2 * m - 1, mp.mpf(0))
    G = mp.matrix(m, m)
    F = mp.matrix(m, m)
    for i in range(m):
        for j in range(m):
            G[i, j] = g[i + j]
            F[i, j] = f[i + j]
    return mp.det(G) / mp.det(F)


def real_S(m, n, X, dom):
    """Skew matrix (with the odd-m border) for D = [0,X] ('lower') or [X,inf)
    ('upper'; X = 0 gives the full range)."""
    a = mp.mpf(n - m - 1) / 2
    K = 2 * m + 1
    if dom == 'lower':
        g1 = inc_lower_seq(a + 1, K, X)          # gamma(a+1+k, X)
        g2 = [None] + inc_lower_seq(2 * a + 2, K - 1, 2 * X)  # gamma(2a+1+k, 2X), k >= 1
    else:
        g1 = inc_upper_seq(a + 1, K, X)
        g2 = [None] + inc_upper_seq(2 * a + 2, K - 1, 2 * X)
    eX = mp.exp(-X)
    def pw(e):
        return mp.power(X, e) if X > 0 else mp.mpf(0)
    # R[j][i] = integral for b = a+j, c = a+1+i
    R = [[None] * m for _ in range(m)]
    R[0][0] = g1[0] ** 2 / 2
    # c-recursion at b = a
    for i in range(1, m):
        b = a; c = a + 1 + i
        t2 = g2[i] / mp.power(2, b + c)          # gamma(b+c,2X)/2^(b+c), b+c = 2a+1+i
        if dom == 'lower':
            R[0][i] = (c - 1) * R[0][i - 1] - t2
        else:
            R[0][i] = (c - 1) * R[0][i - 1] - t2 + pw(c - 1) * eX * g1[0]
    # b-recursion
    for j in range(1, m):
        b = a + j
        for i in range(m):
            c = a + 1 + i
            t2 = g2[i + j] / mp.power(2, b + c)
            if dom == 'lower':
                R[j][i] = b * R[j - 1][i] - pw(b) * eX * g1[i] + t2
            else:
                R[j][i] = b * R[j - 1][i] + t2
    size = m if m % 2 == 0 else m + 1
    S = mp.matrix(size, size)
    for i in range(m):
        for j in range(m):
            # A_ij = int int_{x<y} x^i y^j = R[j][i]
            S[i, j] = R[j][i] - R[i][j]
    if m % 2 == 1:
        for i in range(m):
            S[i, m] = g1[i]
            S[m, i] = -g1[i]
    return S


def real_PD(m, n, x, dom):
    X = mp.mpf(x) / 2
    SD = real_S(m, n, X, dom)
    SF = real_S(m, n, mp.mpf(0), 'upper')
    r = mp.det(SD) / mp.det(SF)
    return mp.sqrt(r)


def tails(field, which, m, n, x):
    """(lower, upper) at the current precision."""
    PD = complex_PD if field == 'complex' else real_PD
    if which == 'largest':
        lo = PD(m, n, x, 'lower')
        return lo, 1 - lo
    up = PD(m, n, x, 'upper')
    return 1 - up, up


def checked(field, which, m, n, x, dps):
    with mp.workdps(dps):
        a = tails(field, which, m, n, x)
    with mp.workdps(dps + DPS_STEP):
        b = tails(field, which, m, n, x)
    ok = True
    for u, v in zip(a, b):
        if v == 0 or abs(u - v) > abs(v) * mp.mpf(10) ** (-CHECK_DIGITS):
            ok = False
    return b, ok


def inner_log10(field, which, m, n, x, dps):
    """log10 of the directly computed probability (largest: lower, smallest: upper)."""
    with mp.workdps(dps):
        PD = complex_PD if field == 'complex' else real_PD
        v = PD(m, n, x, 'lower' if which == 'largest' else 'upper')
        return float(mp.log10(v)) if v > 0 else -1e9


def find_x(field, which, m, n, target, lo, hi, dps):
    """x (double) where the direct tail is about 10^target: Illinois
    regula falsi on log10 P against log x (nearly linear in the far tail)."""
    import math
    a, b = math.log(lo), math.log(hi)
    fa = inner_log10(field, which, m, n, math.exp(a), dps) - target
    fb = inner_log10(field, which, m, n, math.exp(b), dps) - target
    fa = max(fa, -1e6); fb = max(fb, -1e6)
    if fa * fb > 0:
        raise ValueError('no bracket')
    side = 0
    for _ in range(30):
        c = (a * fb - b * fa) / (fb - fa)
        fc = max(inner_log10(field, which, m, n, math.exp(c), dps) - target, -1e6)
        if abs(fc) < 0.3:
            return math.exp(c)
        if fc * fb > 0:
            b, fb = c, fc
            if side == -1:
                fa /= 2
            side = -1
        else:
            a, fa = c, fc
            if side == 1:
                fb /= 2
            side = 1
    return math.exp(c)


CASES = [(1, 1), (1, 7), (2, 2), (2, 9), (3, 3), (3, 20), (5, 5), (5, 40),
         (10, 10), (10, 100), (20, 20), (20, 200), (50, 50), (50, 500)]


def dps_for(m):
    return 330 if m <= 10 else 400 + 8 * m


def case_points(field, which, m, n):
    import math
    scale = 2.0 if field == 'real' else 1.0     # real eigenvalues are 2 t
    med = scale * (math.sqrt(n) + math.sqrt(m)) ** 2 if which == 'largest' else \
        scale * max((math.sqrt(n) - math.sqrt(m)) ** 2, 1.0 / (4 * m * max(n - m + 1, 1)))
    dps = 120 + 7 * m
    xs = []
    # direct tail (largest: lower, smallest: upper) from 1e-300 up to ~0.5
    targets = (-300, -100, -20, -3, math.log10(0.5)) if m < 50 else (-300, -30, math.log10(0.5))
    for t in targets:
        lo, hi = 1e-300, 4.0 * scale * (n + m) + 800
        if which == 'largest' and m * n > 4:
            lo = 1e-4 * med
        try:
            x = find_x(field, which, m, n, t, lo, hi, dps)
        except Exception:
            continue
        if 1e-300 < x < 1e300:
            xs.append(x)
    # the other tail: a geometric spread beyond the median, kept when representable
    if which == 'largest':
        top = max(xs) if xs else med
        for f in ((1.3, 1.8, 2.5, 3.5, 5.0, 8.0) if m < 50 else (1.3, 2.0, 3.5)):
            xs.append(top * f + (f - 1) * 20 * scale)
        if m < 50:
            xs.append(scale * (1400 + 2 * n))
    else:
        bot = min(xs) if xs else med
        for f in ((0.5, 0.1, 1e-3, 1e-6, 1e-12, 1e-30, 1e-80) if m < 50 else (0.3, 1e-3, 1e-12)):
            xs.append(bot * f)
    return sorted(set(round(v, 12 - int(math.floor(math.log10(abs(v))))) for v in xs if v > 1e-300))


HEADER = ('// Generated by tools/wishart_reference.py -- do not edit.\n'
          '// mpmath %s; each value computed at dps = %s and at dps+%d, kept when\n'
          '// both tails agree to %d digits. Formulas: monomial-basis determinant of\n'
          '// incomplete gammas (complex, Khatri) and de Bruijn Pfaffian via sqrt of a\n'
          '// determinant ratio with Chiani recursions (real); see the script docstring.\n'
          '// Tails below 1e-305 are written as 0 and not compared.\n'
          '// {real?, largest?, m, n, x, P(lambda<=x), P(lambda>x)}\n')


def fmt(v):
    return '0.0' if v < mp.mpf('1e-305') else mp.nstr(v, 20, min_fixed=1, max_fixed=0)


LARGE_CASES = [(100, 100), (100, 1000)]


def large_m_points(field, which, m, n):
    """A few points around the edges of the bulk (lambda, both fields:
    (sqrt(n) -+ sqrt(m))^2; n lambda_min is O(1) at n = m) where both tails
    are representable (no search: one evaluation at m = 100 takes a minute)."""
    import math
    if which == 'largest':
        edge = (math.sqrt(n) + math.sqrt(m)) ** 2
        return [round(edge * f, 6) for f in (0.97, 1.04)]
    if n == m:
        return [round(f / n, 9) for f in (0.5, 2.0)]
    edge = (math.sqrt(n) - math.sqrt(m)) ** 2
    return [round(edge * f, 6) for f in (0.95, 1.04)]


def main_large(out):
    """The table at m = 100 that verifies the exact route up to its limit."""
    t0 = time.time()
    dps = 1200
    with open(out, 'w') as fh:
        fh.write(HEADER.replace('dps = %s', 'dps = %d') % (mp.__version__, dps, DPS_STEP, CHECK_DIGITS))
        for (m, n) in LARGE_CASES:
            for field in ('complex', 'real'):
                for which in ('largest', 'smallest'):
                    for x in large_m_points(field, which, m, n):
                        (lo, up), ok = checked(field, which, m, n, x, dps)
                        if not ok:
                            print('precision check failed (dropped)', field, which, m, n, x, file=sys.stderr)
                            continue
                        fh.write('{%d, %d, %d, %d, %s, %s, %s},\n' % (field == 'real', which == 'largest', m, n,
                                                                      repr(x), fmt(lo), fmt(up)))
                        fh.flush()
                        print('%7.1fs %s %s m=%d n=%d x=%r' % (time.time() - t0, field, which, m, n, x),
                              file=sys.stderr)


def number(text):
    """n from the command line: an int when whole (exact binary otherwise)."""
    value = float(text)
    return int(value) if value == int(value) else value


def main():
    if len(sys.argv) > 2 and sys.argv[2] == 'large':
        return main_large(sys.argv[1])
    """argv: out-file [fields=real,complex] [whiches=largest,smallest] [cases=m:n,m:n,...]"""
    out = sys.argv[1] if len(sys.argv) > 1 else 'tests/wishart/reference_values.inc'
    fields = sys.argv[2].split(',') if len(sys.argv) > 2 else ['real', 'complex']
    whiches = sys.argv[3].split(',') if len(sys.argv) > 3 else ['largest', 'smallest']
    cases = [(int(c.split(':')[0]), number(c.split(':')[1])) for c in sys.argv[4].split(',')] \
        if len(sys.argv) > 4 else CASES
    t0 = time.time()
    with open(out, 'w') as fh:
        fh.write(HEADER % (mp.__version__, '330 (m <= 10) or 400+8m (m > 10)', DPS_STEP, CHECK_DIGITS))
        for field in fields:
            for which in whiches:
                for (m, n) in cases:
                    for x in case_points(field, which, m, n):
                        (lo, up), ok = checked(field, which, m, n, x, dps_for(m))
                        if not ok:
                            print('precision check failed (dropped)', field, which, m, n, x, file=sys.stderr)
                            continue
                        if max(lo, up) < mp.mpf('1e-305'):
                            continue
                        fh.write('{%d, %d, %d, %r, %s, %s, %s},\n' % (field == 'real', which == 'largest', m, n,
                                                                      repr(x), fmt(lo), fmt(up)))
                        fh.flush()
                    print('%7.1fs %s %s m=%d n=%r' % (time.time() - t0, field, which, m, n), file=sys.stderr)


if __name__ == '__main__':
    main()
