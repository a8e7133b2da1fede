function build_plugins (outdir)
% BUILD_PLUGINS  Compile the plug-ins with this host's mex.
%
%   build_plugins          builds into the current folder
%   build_plugins(outdir)  builds into outdir, creating it if needed
%
%   Runs in GNU Octave (makes sorn.mex, brint.mex, matrix_pfq.mex and
%   wishart_eig_cdf.mex) and in MATLAB (makes sorn.mexa64 and so on). The
%   numerical core (the folder core beside this one) is compiled once (in
%   Octave, one source per core at a time); each plug-in is then its gateway
%   (the folder gateways) over the core. The help files are copied next to
%   the results.
%   Then call the plug-ins after addpath(outdir).
%
%   Floating-point contraction (fused multiply-add) is switched off: the
%   order of every floating-point operation is part of the results.

  if nargin < 1
    outdir = pwd;
  end
  here = fileparts (mfilename ('fullpath'));
  root = fileparts (here);
  if ~exist (outdir, 'dir')
    mkdir (outdir);
  end
  plugins = {'sorn', 'brint', 'matrix_pfq', 'wishart_eig_cdf'};
  with_matrices = {'matrix_pfq', 'wishart_eig_cdf'};   % eigenvalues through LAPACK

  [sources, includes] = core_layout (root);
  common = fullfile (root, 'gateways', 'common');
  base_sources = {fullfile(common, 'gateway_args.cpp'), fullfile(common, 'host_interrupt.cpp')};
  matrix_sources = {fullfile(common, 'options.cpp'), fullfile(common, 'matrix_argument.cpp')};
  gateways = cellfun (@(name) fullfile (root, 'gateways', name, [name '.cpp']), plugins, ...
                      'UniformOutput', false);
  objdir = tempname ();
  mkdir (objdir);
  cleanup = onCleanup (@() remove_folder (objdir));
  if exist ('OCTAVE_VERSION', 'builtin')
    % Every source compiled once, as many at a time as there are cores;
    % then each plug-in is linked from objects.
    all_sources = [sources, base_sources, matrix_sources, gateways];
    all_objects = compile_in_parallel (all_sources, includes, objdir);
    objects = all_objects(1:numel (sources));
    base = all_objects(numel (sources) + (1:numel (base_sources)));
    matrix = all_objects(numel (sources) + numel (base_sources) + (1:numel (matrix_sources)));
    gateways = all_objects(end - numel (plugins) + 1:end);
  else
    compile = @(src) compile_object (src, includes, objdir);
    objects = cellfun (compile, sources, 'UniformOutput', false);
    base = cellfun (compile, base_sources, 'UniformOutput', false);
    matrix = cellfun (compile, matrix_sources, 'UniformOutput', false);
  end
  for k = 1:numel (plugins)
    name = plugins{k};
    linked = [objects, base];
    libraries = {};
    if any (strcmp (name, with_matrices))
      linked = [linked, matrix];
      libraries = lapack_libraries ();
    end
    if exist ('OCTAVE_VERSION', 'builtin')
      map = fullfile (root, 'gateways', name, [name '.map']);
      link_in_octave (name, gateways{k}, map, linked, libraries, outdir);
    else
      mex ('-outdir', outdir, '-output', name, includes{:}, ...
           'CXXFLAGS=$CXXFLAGS -ffp-contract=off', gateways{k}, linked{:}, libraries{:});
    end
    copyfile (fullfile (here, 'inst', [name '.m']), outdir);   % help text
    fprintf ('built %s in %s\n', name, outdir);
  end
end

% The host's LAPACK: Octave's own, or the one MATLAB ships.
function libraries = lapack_libraries ()
  if exist ('OCTAVE_VERSION', 'builtin')
    libraries = [strsplit(strtrim (mkoctfile ('-p', 'LAPACK_LIBS'))), ...
                 strsplit(strtrim (mkoctfile ('-p', 'BLAS_LIBS')))];
  else
    libraries = {'-lmwlapack'};
  end
end

% The core's sources (every module folder of core but its public headers)
% and every include folder the plug-ins need.
function [sources, includes] = core_layout (root)
  core = fullfile (root, 'core');
  entries = dir (core);
  folders = {entries([entries.isdir]).name};
  folders = setdiff (folders, {'.', '..', 'include'});
  sources = {};
  includes = {['-I' fullfile(core, 'include')], ['-I' fullfile(root, 'gateways', 'common')]};
  for k = 1:numel (folders)
    folder = fullfile (core, folders{k});
    includes{end+1} = ['-I' folder];
    found = dir (fullfile (folder, '*.cpp'));
    for f = 1:numel (found)
      sources{end+1} = fullfile (folder, found(f).name);
    end
  end
end

% One object file in objdir, compiled with contraction off.
function object = compile_object (source, includes, objdir)
  [~, base] = fileparts (source);
  if exist ('OCTAVE_VERSION', 'builtin')
    object = fullfile (objdir, [base '.o']);
    with_cxxflags (@() mex ('-c', includes{:}, '-DMATRIXHYPER_OCTAVE_HOST', source, '-o', object));
  else
    mex ('-c', '-outdir', objdir, includes{:}, 'CXXFLAGS=$CXXFLAGS -ffp-contract=off', source);
    found = dir (fullfile (objdir, [base '.o*']));
    object = fullfile (objdir, found(1).name);
  end
end

% Octave: the object files of the sources in objdir, compiled by mkoctfile
% processes running side by side, at most one per core.
function objects = compile_in_parallel (sources, includes, objdir)
  objects = cell (size (sources));
  commands = cell (size (sources));
  mkoctfile_path = fullfile (feval ('__octave_config_info__', 'bindir'), 'mkoctfile');
  for k = 1:numel (sources)
    [~, base] = fileparts (sources{k});
    objects{k} = fullfile (objdir, [base '.o']);
    words = [{mkoctfile_path, '--mex', '-c'}, includes, ...
             {'-DMATRIXHYPER_OCTAVE_HOST', sources{k}, '-o', objects{k}}];
    commands{k} = strjoin (cellfun (@(w) ['"' w '"'], words, 'UniformOutput', false), ' ');
  end
  with_cxxflags (@() run_side_by_side (commands, nproc ()));
end

% Runs the shell commands, at most `slots` at a time; fails if any failed.
function run_side_by_side (commands, slots)
  running = [];
  command_of = struct ();
  failed = {};
  next = 1;
  while next <= numel (commands) || ~isempty (running)
    while next <= numel (commands) && numel (running) < slots
      running(end+1) = system (commands{next}, false, 'async');
      command_of.(sprintf ('p%d', running(end))) = commands{next};
      next = next + 1;
    end
    [pid, status] = waitpid (running(1));
    running(1) = [];
    if ~(WIFEXITED (status) && WEXITSTATUS (status) == 0)
      failed{end+1} = command_of.(sprintf ('p%d', pid));
    end
  end
  if ~isempty (failed)
    error ('build_plugins: compiling failed:\n  %s', strjoin (failed, '\n  '));
  end
end

% Octave's mex: export only the entry points, and report a MEX function
% missing from this Octave at link time rather than at load time.
function link_in_octave (name, gateway, map, objects, libraries, outdir)
  link = {};
  if isunix () && ~ismac ()
    link = {['-Wl,--version-script=' map], '-Wl,--no-undefined', ...
            ['-L' strtrim(mkoctfile ('-p', 'OCTLIBDIR'))], '-loctinterp', '-loctave'};
  end
  with_cxxflags (@() mex ('-o', fullfile (outdir, name), gateway, objects{:}, libraries{:}, ...
                          link{:}));
end

% Octave's mex takes extra compiler flags only through the CXXFLAGS
% environment variable, which replaces its defaults.
function with_cxxflags (action)
  saved = getenv ('CXXFLAGS');
  setenv ('CXXFLAGS', [strtrim(mkoctfile ('-p', 'CXXFLAGS')) ' -ffp-contract=off']);
  try
    action ();
  catch err
    restore_cxxflags (saved);
    rethrow (err);
  end
  restore_cxxflags (saved);
end

function restore_cxxflags (saved)
  if isempty (saved)
    unsetenv ('CXXFLAGS');
  else
    setenv ('CXXFLAGS', saved);
  end
end

function remove_folder (folder)
  if exist ('OCTAVE_VERSION', 'builtin')
    confirm_recursive_rmdir (false);
  end
  rmdir (folder, 's');
end
