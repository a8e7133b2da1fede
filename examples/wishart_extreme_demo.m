function results = wishart_extreme_demo(samples, png_path, mex_dir)
% WISHART_EXTREME_DEMO  Extreme eigenvalues of real Wishart matrices: the
% exact distributions from wishart_eig_cdf against simulated matrices.
%
%   results = wishart_extreme_demo(samples, png_path, mex_dir)
%
%   For W = Z'*Z, Z an n-by-m matrix of standard normals, the distribution
%   of the largest eigenvalue at (m, n) = (2, 5), (3, 8), (4, 10), and of
%   the largest and the smallest at (20, 40) and (50, 100), each against
%   `samples` simulated matrices (default 4000, fixed seed).
%
%   Inputs (all optional; [] takes the default):
%     samples   simulated matrices per size.
%     png_path  picture to write with gnuplot ('' writes none; without
%               gnuplot the demo says so and writes none). Default
%               docs/wishart_extreme_eigenvalues.png of this repository.
%     mex_dir   folder holding wishart_eig_cdf, put first on the path.
%
%   results(i) describes curve i, with fields m, n, which, x (a grid),
%   P (the exact CDF on it), err (its error estimate), values (the
%   simulated eigenvalues), ks (sup |empirical - exact| at the simulated
%   values, the exact CDF interpolated on the grid) and dkw (the 99% bound
%   sqrt(log(200) / (2 samples)) that ks stays below with probability 0.99).

  here = fileparts(mfilename('fullpath'));
  if nargin < 1 || isempty(samples), samples = 4000; end
  if nargin < 2, png_path = fullfile(here, '..', 'docs', 'wishart_extreme_eigenvalues.png'); end
  if nargin >= 3 && ~isempty(mex_dir), addpath(mex_dir); end
  randn('seed', 20261208);   % the same matrices on every run

  curves = {2, 5, 'largest'; 3, 8, 'largest'; 4, 10, 'largest'; ...
            20, 40, 'largest'; 20, 40, 'smallest'; 50, 100, 'largest'; 50, 100, 'smallest'};
  for i = 1:size(curves, 1)
    results(i) = analyse(curves{i, :}, samples); %#ok<AGROW>
    r = results(i);
    fprintf('m = %2d, n = %3d, %-8s  max err %.1e  KS %.4f (99%% bound %.4f)\n', ...
            r.m, r.n, r.which, max(r.err), r.ks, r.dkw);
  end
  if isempty(png_path)
    return;
  end
  if system('gnuplot --version > /dev/null 2>&1') == 0
    write_plot(results, png_path);
    fprintf('picture: %s\n', png_path);
  else
    fprintf('no picture: gnuplot is not installed (the numbers above are complete)\n');
  end
end

% The exact curve of one size and extreme, and the simulation beside it.
function r = analyse(m, n, which, samples)
  r.m = m; r.n = n; r.which = which;
  r.values = zeros(samples, 1);
  for k = 1:samples
    Z = randn(n, m);
    e = eig(Z' * Z);
    r.values(k) = ifelse_extreme(e, which);
  end
  lo = max(0, min(r.values) * 0.8);
  hi = max(r.values) * 1.1;
  r.x = linspace(lo, hi, 200);
  [r.P, r.err] = wishart_eig_cdf(r.x, m, n, 'which', which);
  sorted = sort(r.values)';
  exact = interp1(r.x, r.P, sorted);   % the grid is fine enough: KS moves by < 1e-3
  empirical_after = (1:samples) / samples;
  empirical_before = (0:samples - 1) / samples;
  r.ks = max(max(abs(empirical_after - exact)), max(abs(empirical_before - exact)));
  r.dkw = sqrt(log(200) / (2 * samples));
end

function v = ifelse_extreme(e, which)
  if strcmp(which, 'largest'), v = max(e); else, v = min(e); end
end

% Two panels: the small sizes, then m = 20 and 50; lines exact, points the
% empirical distribution of the simulated values (every 40th).
function write_plot(results, png_path)
  folder = tempname();
  mkdir(folder);
  cleanup = onCleanup(@() confirm_and_remove(folder));
  panels = {1:3, 4:7};
  titles = {'Largest eigenvalue, small sizes', 'm = 20 (n = 40) and m = 50 (n = 100): smallest and largest'};
  script = {'set terminal pngcairo size 900,820 font "sans,11"', ...
            sprintf('set output ''%s''', png_path), 'set encoding utf8', 'set multiplot layout 2,1', ...
            'set grid', 'set key right bottom box opaque', 'set ylabel "P(λ ≤ x)"', 'set yrange [0:1.02]'};
  for p = 1:2
    plots = {};
    for i = panels{p}
      r = results(i);
      curve = fullfile(folder, sprintf('curve%d.dat', i));
      points = fullfile(folder, sprintf('points%d.dat', i));
      write_columns(curve, [r.x; r.P]);
      s = sort(r.values)';
      keep = 20:40:numel(s);
      write_columns(points, [s(keep); keep / numel(s)]);
      plots{end+1} = sprintf('''%s'' using 1:2 with lines lw 2 lc %d title ''m = %d, n = %d, %s''', ...
                             curve, i, r.m, r.n, r.which); %#ok<AGROW>
      plots{end+1} = sprintf('''%s'' using 1:2 with points pt 7 ps 0.5 lc %d notitle', points, i); %#ok<AGROW>
    end
    script{end+1} = sprintf('set title "%s"', titles{p}); %#ok<AGROW>
    script{end+1} = ['plot ', strjoin(plots, ', ')]; %#ok<AGROW>
  end
  script{end+1} = 'unset multiplot';
  script_file = fullfile(folder, 'plot.gp');
  fid = fopen(script_file, 'w');
  fprintf(fid, '%s\n', script{:});
  fclose(fid);
  [status, output] = system(sprintf('gnuplot "%s" 2>&1', script_file));
  if status ~= 0
    error('wishart_extreme_demo: gnuplot failed:\n%s', output);
  end
end

function write_columns(file, columns)
  fid = fopen(file, 'w');
  fprintf(fid, [repmat('%.17g ', 1, size(columns, 1)) '\n'], columns);
  fclose(fid);
end

function confirm_and_remove(folder)
  if exist('OCTAVE_VERSION', 'builtin'), confirm_recursive_rmdir(false); end
  rmdir(folder, 's');
end
