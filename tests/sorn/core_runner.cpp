// core_runner.cpp: drives the sorn core (tables and walk) outside the gateway.
#include "core_runner.h"

#include <stdexcept>

namespace sorn_test {

CoreRun::CoreRun(const SeriesInput &input, const RunObservers &observers)
    : degree_sums_(input.max_size + 1, 0.0)
{
    const int n = static_cast<int>(input.x.size());
    if (n < 1 || (!input.y.empty() && input.y.size() < input.x.size()))
        throw std::invalid_argument("CoreRun needs x with at least one value and y as long");
    long long table_size = count_table_size(input.max_size, n, jack_tables_max_positions);
    if (table_size > jack_tables_max_positions)
        throw std::invalid_argument("CoreRun: tables too large");
    degree_sums_[0] = 1;
    // Laid out exactly as sorn_series does, in a block of exactly the size
    // the query gives, so that the sanitizer build sees any access beyond it.
    const double *y = input.y.empty() ? nullptr : input.y.data();
    jack_table_shape shape{input.max_size, n, static_cast<int>(table_size), y != nullptr};
    workspace_cursor counter;
    build_jack_tables(&tables_, shape, input.alpha, input.x.data(), y, counter);
    take_walk_state(&walk_, n, input.max_part, counter);
    workspace_.resize(counter.bytes());
    workspace_cursor cursor(workspace_.data(), workspace_.size());
    build_jack_tables(&tables_, shape, input.alpha, input.x.data(), y, cursor);
    take_walk_state(&walk_, n, input.max_part, cursor);
    tables_.observer = observers.strips;
    series_parameters parameters{input.a.data(), input.a.size(), input.b.data(), input.b.size()};
    walk_run run;
    run.observer = observers.visits;
    const walk_series series{input.max_size, input.alpha, &parameters, degree_sums_.data()};
    partition_walk(series, &tables_, &walk_, run);
}

int CoreRun::position(const Partition &kappa) const
{
    std::vector<int> parts(kappa.size() + 1, 0);
    for (size_t i = 0; i < kappa.size(); ++i)
        parts[i + 1] = kappa[i];
    return lookup_position(&tables_, parts.data(), static_cast<int>(kappa.size()), 0);
}

double CoreRun::jack_x(const Partition &kappa, int i) const
{
    return jack_row(tables_.jack_x, position(kappa), tables_.n)[i - 1];
}

double CoreRun::jack_y(const Partition &kappa, int i) const
{
    return jack_row(tables_.jack_y, position(kappa), tables_.n)[i - 1];
}

std::vector<double> run_series(const SeriesInput &input, const RunObservers &observers)
{
    CoreRun run(input, observers);
    return run.degree_sums();
}

} // namespace sorn_test
