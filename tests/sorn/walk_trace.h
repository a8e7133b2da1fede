// walk_trace.h: forced into the tracing build of the sorn core used by the
// walk-order tests; the plug-in itself is built without these hooks.
#ifndef SORN_TEST_WALK_TRACE_H
#define SORN_TEST_WALK_TRACE_H

// Called after the term of each visited partition has been added.
void trace_walk_visit(const int *kappa, int n, int size, double coefficient);
// Called for each horizontal strip kappa/mu enumerated by a table fill.
void trace_strip(const int *mu, int rows, int removed);

#define SORN_WALK_VISIT_HOOK trace_walk_visit
#define SORN_STRIP_VISIT_HOOK trace_strip

#endif // SORN_TEST_WALK_TRACE_H
