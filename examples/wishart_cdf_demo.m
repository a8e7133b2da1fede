function results = wishart_cdf_demo(sizes, samples, png_path, mex_dir)
% WISHART_CDF_DEMO  Largest eigenvalue of a real Wishart matrix: exact CDF
% from brint against a Monte Carlo estimate.
%
%   results = wishart_cdf_demo(sizes, samples, png_path, mex_dir)
%
%   For A ~ W_m(n, I_m) (A = G'*G, G an n-by-m matrix of standard normals)
%       P(lambda_max(A) < x) = Gamma_m((m+1)/2) / Gamma_m((n+m+1)/2)
%                              * (x/2)^(m*n/2) * 1F1(n/2; (n+m+1)/2; -x/2 * I_m)
%   with zonal polynomials (Jack parameter alpha = 2) and
%   Gamma_m(c) = pi^(m(m-1)/4) * prod_{i=1..m} Gamma(c - (i-1)/2).
%
%   The series of 1F1 at -x/2 * I_m alternates, and its terms grow like
%   exp(m x/2) before they shrink: at the upper end of the distribution it
%   loses all its digits. The curve is therefore computed through Kummer's
%   relation, which holds for matrix argument,
%       1F1(a; c; -t I_m) = exp(-m t) * 1F1(c - a; c; t I_m),
%   whose series has positive terms only. The alternating series is still
%   evaluated and compared where its own rounding error is small.
%
%   Inputs (all optional; [] takes the default):
%     sizes     k-by-2 rows [m n], default [2 5; 3 8; 4 10]; n >= m >= 1.
%     samples   simulated matrices per size, default 20000.
%     png_path  picture to write with gnuplot ('' writes none; without
%               gnuplot the demo says so and writes none). Default
%               docs/wishart_largest_eigenvalue.png of this repository.
%     mex_dir   folder holding brint and sorn, put first on the path.
%
%   results(i) describes size i, with fields
%     m, n, samples, max_size    size and truncation of the series
%     tail_10, term_ratio        at the right end of the range: the next ten
%                                terms relative to the sum, and the ratio of
%                                the last two of them
%     change_10                  largest relative change of the CDF on the
%                                grid between max_size and max_size + 10
%     x, cdf                     grid over [0, x_max] and the exact CDF on it
%     direct_cdf, direct_error   the alternating series on the grid and an
%                                estimate of its relative rounding error
%     direct_range, direct_diff  largest x up to which that estimate stays
%                                below 1e-8, and the largest relative
%                                difference from cdf there
%     x_mc, p_mc, se_mc          points, simulated P(lambda_max < x), and its
%     band_lo, band_hi           binomial standard error and 99% Wilson band
%     ks_distance, dkw_99        sup |empirical - exact| over the simulated
%                                values up to x_max, and the 99% simultaneous
%                                bound sqrt(log(200) / (2 samples))
%     x_check, sorn_rel,         three points where brint and sorn evaluate the
%     sorn_direct, check_size    same truncated series (max_size check_size):
%                                relative difference of the positive series
%                                and difference of the alternating one
%                                relative to the sum of its |terms|

  here = fileparts(mfilename('fullpath'));
  if nargin < 1 || isempty(sizes), sizes = [2 5; 3 8; 4 10]; end
  if nargin < 2 || isempty(samples), samples = 20000; end
  if nargin < 3, png_path = fullfile(here, '..', 'docs', 'wishart_largest_eigenvalue.png'); end
  if nargin >= 4 && ~isempty(mex_dir)
    if ~exist(mex_dir, 'dir')
      error('wishart_cdf_demo: no folder %s; build the Octave plug-ins first.', mex_dir);
    end
    addpath(mex_dir);
  end
  if exist('brint') ~= 3 || exist('sorn') ~= 3 %#ok<EXIST>
    error('wishart_cdf_demo: the compiled brint and sorn plug-ins are not on the path.');
  end

  eigenvalues = cell(1, size(sizes, 1));
  for i = 1:size(sizes, 1)
    eigenvalues{i} = largest_eigenvalues(sizes(i, 1), sizes(i, 2), samples);
  end
  x_max = plot_range(eigenvalues);

  for i = 1:size(sizes, 1)
    results(i) = analyse_size(sizes(i, 1), sizes(i, 2), eigenvalues{i}, x_max); %#ok<AGROW>
  end
  print_summary(results, x_max);
  if isempty(png_path)
    return;
  end
  if have_gnuplot()
    write_plot(results, x_max, png_path);
    fprintf('picture: %s\n', png_path);
  else
    fprintf('no picture: gnuplot is not installed (the numbers above are complete)\n');
  end
end

% True when a gnuplot command can be run.
function found = have_gnuplot()
  [status, ~] = system('gnuplot --version');
  found = status == 0;
end

% Sorted largest eigenvalues of `samples` matrices G'*G, G n-by-m standard
% normal. The seed depends on the size only, so one size gives the same
% sample whatever else is run with it.
function lambda = largest_eigenvalues(m, n, samples)
  rng(1000 * m + n);
  lambda = zeros(samples, 1);
  for s = 1:samples
    G = randn(n, m);
    A = G' * G;
    lambda(s) = max(eig((A + A') / 2));
  end
  lambda = sort(lambda);
end

% Right end of the plot: the largest 99.9% sample quantile, rounded up to a
% multiple of 5.
function x_max = plot_range(eigenvalues)
  x_max = 0;
  for i = 1:numel(eigenvalues)
    lambda = eigenvalues{i};
    x_max = max(x_max, lambda(ceil(0.999 * numel(lambda))));
  end
  x_max = 5 * ceil(x_max / 5);
end

function r = analyse_size(m, n, lambda, x_max)
  alpha = 2;                       % zonal polynomials: real Gaussian entries
  a = n / 2;
  c = (n + m + 1) / 2;
  r.m = m;
  r.n = n;
  r.samples = numel(lambda);

  [r.max_size, r.tail_10, r.term_ratio] = choose_max_size(alpha, c - a, c, m, x_max / 2);
  K = r.max_size;
  r.x = linspace(0, x_max, 401);
  r.cdf = exact_cdf(r.x, m, n, K, alpha);
  wider = exact_cdf(r.x, m, n, K + 10, alpha);
  r.change_10 = max(abs(wider - r.cdf) ./ max(r.cdf, realmin));

  % The alternating series as written. Its rounding error is of the order
  % of max_size * eps * sum |terms| (four times that is the estimate), and
  % sum |terms| is the same series at +t: all its coefficients are positive
  % when n >= m.
  t = r.x / 2;
  series = brint(K, alpha, a, c, m, -t);
  r.direct_cdf = exp(log_prefactor(m, n, t)) .* series;
  r.direct_error = 4 * K * eps * brint(K, alpha, a, c, m, t) ./ abs(series);
  accurate = find(r.direct_error > 1e-8, 1) - 1;
  if isempty(accurate), accurate = numel(r.x); end
  r.direct_range = r.x(accurate);
  r.direct_diff = max(abs(r.direct_cdf(1:accurate) - r.cdf(1:accurate)) ...
                      ./ max(r.cdf(1:accurate), realmin));

  r.x_mc = (1:20) * x_max / 20;
  r.p_mc = zeros(size(r.x_mc));
  for j = 1:numel(r.x_mc)
    r.p_mc(j) = sum(lambda < r.x_mc(j)) / r.samples;
  end
  r.se_mc = sqrt(r.p_mc .* (1 - r.p_mc) / r.samples);
  [r.band_lo, r.band_hi] = wilson_band(r.p_mc, r.samples, 0.99);
  [r.ks_distance, r.dkw_99] = kolmogorov_distance(lambda(lambda <= x_max), r.samples, ...
                                                  m, n, K, alpha);

  [r.x_check, r.sorn_rel, r.sorn_direct, r.check_size] = cross_check(r, alpha, a, c);
end

% Truncation of the positive series 1F1(c - a; c; t I_m) that is converged
% at t_max, and so at every smaller t (its terms are positive, and the
% tail relative to the sum grows with t). Grows max_size by 10 until the
% ten terms past it add less than eps/2 of the sum and shrink by at least
% a factor 2 at the end, so that everything past them is below their last.
% Coefficients must not underflow before that point: beyond it they would
% silently drop terms that still count.
function [K, tail_10, ratio] = choose_max_size(alpha, a, c, m, t_max)
  K = 10;
  while true
    [~, coefficients] = brint(K + 10, alpha, a, c, m, t_max);
    if coefficients(end) < realmin
      error('wishart_cdf_demo: series coefficients vanish or underflow before it converges at x = %g.', ...
            2 * t_max);
    end
    log_terms = log(coefficients) + (0:K + 10) * log(t_max);
    largest = max(log_terms);
    head = sum(exp(log_terms(1:K + 1) - largest));
    tail_10 = sum(exp(log_terms(K + 2:end) - largest)) / head;
    ratio = exp(log_terms(end) - log_terms(end - 1));
    if tail_10 <= eps / 2 && ratio <= 0.5
      return;
    end
    K = K + 10;
  end
end

% P(lambda_max < x) through Kummer's relation: every factor is positive.
function F = exact_cdf(x, m, n, K, alpha)
  c = (n + m + 1) / 2;
  t = x / 2;
  series = brint(K, alpha, c - n / 2, c, m, t);
  F = exp(log_prefactor(m, n, t) - m * t) .* series;
end

% log of Gamma_m((m+1)/2) / Gamma_m((n+m+1)/2) * t^(m n / 2); the pi
% factors of the two multivariate gammas cancel.
function value = log_prefactor(m, n, t)
  i = 1:m;
  value = sum(gammaln((m + 1) / 2 - (i - 1) / 2)) ...
        - sum(gammaln((n + m + 1) / 2 - (i - 1) / 2)) + (m * n / 2) * log(t);
end

% Wilson score interval for a binomial proportion: unlike p +- z*se it
% does not collapse where the estimate is 0 or 1.
function [lo, hi] = wilson_band(p, samples, level)
  z = sqrt(2) * erfcinv(1 - level);
  scale = 1 + z^2 / samples;
  centre = (p + z^2 / (2 * samples)) / scale;
  half = z * sqrt(p .* (1 - p) / samples + z^2 / (4 * samples^2)) / scale;
  lo = centre - half;
  hi = centre + half;
end

% Kolmogorov distance between the empirical CDF of all `samples` values and
% the exact CDF, over the sorted values in `lambda` (those up to x_max,
% where the truncation is known to have converged), and the 99% bound of
% the Dvoretzky-Kiefer-Wolfowitz inequality, which holds for all x at once.
function [distance, bound] = kolmogorov_distance(lambda, samples, m, n, K, alpha)
  F = exact_cdf(lambda', m, n, K, alpha);
  below = (0:numel(lambda) - 1) / samples;
  above = (1:numel(lambda)) / samples;
  distance = max([0, above - F, F - below]);
  bound = sqrt(log(2 / 0.01) / (2 * samples));
end

% brint against sorn with all eigenvalues equal, at the simulated points
% nearest to the 10%, 50% and 90% quantiles, on the same truncated series.
% sorn's tables grow fast with max_size, so the size is capped at 60.
function [x_check, rel, direct, K] = cross_check(r, alpha, a, c)
  K = min(r.max_size, 60);
  x_check = zeros(1, 3);
  quantiles = [0.1 0.5 0.9];
  for j = 1:3
    [~, nearest] = min(abs(r.p_mc - quantiles(j)));
    x_check(j) = r.x_mc(nearest);
  end
  rel = zeros(1, 3);
  direct = zeros(1, 3);
  for j = 1:3
    t = x_check(j) / 2;
    from_brint = brint(K, alpha, c - a, c, r.m, t);
    rel(j) = abs(sorn(K, alpha, c - a, c, t * ones(1, r.m)) - from_brint) / from_brint;
    absolute_sum = brint(K, alpha, a, c, r.m, t);
    direct(j) = abs(sorn(K, alpha, a, c, -t * ones(1, r.m)) ...
                    - brint(K, alpha, a, c, r.m, -t)) / absolute_sum;
  end
end

function print_summary(results, x_max)
  fprintf('Largest eigenvalue of W_m(n, I_m) on [0, %g]:\n', x_max);
  for r = results
    fprintf(['m=%d n=%d: max_size %d (next 10 terms %.1e of the sum, last ratio %.2f; ' ...
             'CDF changes by %.1e up to max_size+10)\n'], ...
            r.m, r.n, r.max_size, r.tail_10, r.term_ratio, r.change_10);
    fprintf('  alternating series accurate to 1e-8 up to x = %g (differs by %.1e)\n', ...
            r.direct_range, r.direct_diff);
    exact = exact_at(r, r.x_mc);
    inside = sum(exact >= r.band_lo & exact <= r.band_hi);
    fprintf(['  %d samples: exact CDF inside the 99%% band at %d of %d points, ' ...
             'largest standard error %.4f; sup |empirical - exact| = %.4f (99%% bound %.4f)\n'], ...
            r.samples, inside, numel(r.x_mc), max(r.se_mc), r.ks_distance, r.dkw_99);
    fprintf('  brint - sorn (max_size %d) at x = %s: %s eps; alternating: %s eps of sum |terms|\n', ...
            r.check_size, mat2str(r.x_check, 4), mat2str(r.sorn_rel / eps, 2), ...
            mat2str(r.sorn_direct / eps, 2));
  end
end

% The picture, drawn by gnuplot from data files in a temporary folder:
% CDFs with the simulated points above, simulated minus exact with the 99%
% bands below.
function write_plot(results, x_max, png_path)
  folder = tempname();
  mkdir(folder);
  cleanup = onCleanup(@() remove_folder(folder));
  curves = '';
  points = '';
  residuals = '';
  for i = 1:numel(results)
    r = results(i);
    exact_at_mc = exact_at(r, r.x_mc);
    curve_file = fullfile(folder, sprintf('curve%d.dat', i));
    point_file = fullfile(folder, sprintf('points%d.dat', i));
    write_columns(curve_file, [r.x; r.cdf]);
    write_columns(point_file, [r.x_mc; r.p_mc; r.band_lo; r.band_hi; exact_at_mc]);
    curves = [curves, sprintf(['''%s'' using 1:2 with lines lw 2 lc %d ' ...
                               'title ''m = %d, n = %d'', '], curve_file, i, r.m, r.n)]; %#ok<AGROW>
    points = [points, sprintf(['''%s'' using 1:2:3:4 with yerrorbars pt 7 ps 0.6 ' ...
                               'lc %d notitle, '], point_file, i)]; %#ok<AGROW>
    shift = (i - (numel(results) + 1) / 2) * x_max / 150;   % side by side, not on top
    residuals = [residuals, sprintf(['''%s'' using ($1%+g):($2-$5):($3-$5):($4-$5) ' ...
                                     'with yerrorbars pt 7 ps 0.6 lc %d notitle, '], ...
                                    point_file, shift, i)]; %#ok<AGROW>
  end
  legend = sprintf('keyentry with yerrorbars pt 7 ps 0.6 lc ''black'' title ''simulated, %d each, 99%% band''', ...
                   results(1).samples);
  script = {
    'set terminal pngcairo size 900,760 font "sans,11"'
    sprintf('set output ''%s''', png_path)
    'set encoding utf8'
    'set multiplot'
    'set lmargin 12'
    'set rmargin 3'
    'set origin 0,0.36'
    'set size 1,0.64'
    'set title "Largest eigenvalue of a real Wishart matrix A ∼ W_m(n, I_m)"'
    sprintf('set xrange [0:%g]', x_max)
    'set yrange [0:1.02]'
    'set format x ""'
    'set ylabel "P(λ_{max} < x)"'
    'set grid'
    'set key right bottom box opaque'
    ['plot ', curves, points, legend]
    'unset title'
    'unset key'
    'set origin 0,0'
    'set size 1,0.38'
    'set format x "%g"'
    'set xlabel "x"'
    'set ylabel "simulated − exact"'
    'set yrange [*:*]'
    'set format y "%.3f"'
    ['plot 0 with lines lc "black" notitle, ', residuals(1:end - 2)]
    'unset multiplot'
  };
  script_file = fullfile(folder, 'plot.gp');
  fid = fopen(script_file, 'w');
  fprintf(fid, '%s\n', script{:});
  fclose(fid);
  [status, output] = system(sprintf('gnuplot "%s" 2>&1', script_file));
  if status ~= 0
    error('wishart_cdf_demo: gnuplot failed (is gnuplot installed?):\n%s', output);
  end
end

% The exact CDF at points of the grid (x_mc lies on it).
function F = exact_at(r, points)
  index = round(points / r.x(end) * (numel(r.x) - 1)) + 1;
  F = r.cdf(index);
end

function write_columns(file, columns)
  fid = fopen(file, 'w');
  fprintf(fid, [repmat('%.17g ', 1, size(columns, 1)), '\n'], columns);
  fclose(fid);
end

function remove_folder(folder)
  if exist(folder, 'dir')
    if exist('OCTAVE_VERSION', 'builtin')
      confirm_recursive_rmdir(false, 'local');
    end
    rmdir(folder, 's');
  end
end
