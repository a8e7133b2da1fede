## nfail = check_host_agreement (mexrun, plugin_dir, calls_file)
## Runs every call of calls_file (one per line, in the call language of
## mexrun, which is also Octave's; # starts a comment line) in this Octave,
## with the sorn and brint found on the path, and through mexrun with our
## own host's build in plugin_dir. The outputs must agree bit for bit and
## the error messages word for word. Prints each disagreement and a summary
## line; returns the number of calls that disagree.
function nfail = check_host_agreement (mexrun, plugin_dir, calls_file)
  mexrun = make_absolute_filename (mexrun);
  plugin_dir = make_absolute_filename (plugin_dir);
  calls = strtrim (strsplit (fileread (calls_file), "\n"));
  calls = calls(! cellfun ("isempty", calls) & ! strncmp (calls, "#", 1));

  npass = 0;
  nfail = 0;
  for k = 1:numel (calls)
    call = calls{k};
    [expected, expected_message] = run_on_host (mexrun, plugin_dir, call);
    [got, message] = run_in_octave (call, fieldnames (expected));
    if (! strcmp (message, expected_message))
      printf ("FAIL %s\n  error in Octave: '%s'\n  error in mexrun: '%s'\n", call,
              message, expected_message);
      nfail += 1;
      continue;
    endif
    bad = {};
    for name = fieldnames (expected)'
      if (! bitwise_equal (got.(name{1}), expected.(name{1})))
        bad{end+1} = name{1};
      endif
    endfor
    if (isempty (bad))
      npass += 1;
    else
      printf ("FAIL %s\n", call);
      for name = bad
        printf ("  %s in Octave: %s\n  %s in mexrun: %s\n", name{1},
                mat2str (got.(name{1}), 17), name{1}, mat2str (expected.(name{1}), 17));
      endfor
      nfail += 1;
    endif
  endfor
  printf ("host agreement: %d passed, %d failed\n", npass, nfail);
  nfail += (npass + nfail == 0);
endfunction

## Runs `call` through mexrun; returns its outputs as a struct (field names
## as printed) or, when the plug-in reported an error, its message.
function [outputs, message] = run_on_host (mexrun, plugin_dir, call)
  command = sprintf ("%s --path %s %s 2>&1", mexrun, shell_quote (plugin_dir),
                     shell_quote (call));
  [status, text] = system (command);
  outputs = struct ();
  message = "";
  if (status == 1)
    message = regexprep (strtrim (text), '^error: ', '');
  elseif (status != 0)
    error ("mexrun failed (%d) on %s:\n%s", status, call, text);
  else
    for line = strsplit (strtrim (text), "\n")
      if (isempty (regexp (line{1}, '^\w+ = ', "once")))
        error ("unexpected output of mexrun on %s:\n%s", call, text);
      endif
      eval (["outputs." line{1} ";"]);       # `name = literal`
    endfor
  endif
endfunction

## Runs `call` in this Octave; the outputs named in `names` (ans for a
## statement) or the error message.
function [outputs, message] = run_in_octave (call, names)
  outputs = struct ();
  message = "";
  try
    eval ([call ";"]);
    for k = 1:numel (names)
      outputs.(names{k}) = eval (names{k});
    endfor
  catch err
    message = err.message;
  end_try_catch
endfunction

function text = shell_quote (text)
  text = ["'" strrep(text, "'", "'\\''") "'"];
endfunction

## Same class, shape and bits (any NaN matches any NaN in the same place).
function same = bitwise_equal (a, b)
  same = (strcmp (class (a), class (b)) && isequal (size (a), size (b))
          && isequal (isnan (a), isnan (b))
          && isequal (typecast (a(! isnan (a)), "uint64"),
                      typecast (b(! isnan (b)), "uint64")));
endfunction

