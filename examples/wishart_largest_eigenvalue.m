% Largest eigenvalue of a real Wishart matrix: the exact distribution
% function, computed with brint, against simulated matrices.
%
% From the repository root, once the Octave plug-ins are built
% (cmake -S . -B build && cmake --build build):
%   octave-cli --norc --no-history --quiet examples/wishart_largest_eigenvalue.m
% prints the checks and writes docs/wishart_largest_eigenvalue.png (needs
% gnuplot). Variables set before running the script change what it does:
%   quick      true: two small sizes and 2000 samples, a few seconds
%   mex_dir    folder holding brint and sorn (default build/octave/mex)
%   png_path   picture to write; '' for none
% (give absolute paths: run() evaluates the script inside examples/)
% for example
%   octave-cli -q -f -H --eval "quick = true; png_path = ''; run('examples/wishart_largest_eigenvalue.m')"
% The work is done by wishart_cdf_demo.m beside this file (see its help).

examples_dir = fileparts(mfilename('fullpath'));
addpath(examples_dir);
if ~exist('quick', 'var')
  quick = false;
end
if ~exist('mex_dir', 'var')
  mex_dir = fullfile(examples_dir, '..', 'build', 'octave', 'mex');
end
if ~exist('png_path', 'var')
  png_path = fullfile(examples_dir, '..', 'docs', 'wishart_largest_eigenvalue.png');
end

if quick
  results = wishart_cdf_demo([2 5; 3 8], 2000, png_path, mex_dir);
else
  results = wishart_cdf_demo([2 5; 3 8; 4 10], 20000, png_path, mex_dir);
end
