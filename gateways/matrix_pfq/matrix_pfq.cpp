// matrix_pfq.cpp: gateway of the matrix_pfq plug-in, pFq(a; b; X) or
// pFq(a; b; X, Y) to a requested accuracy with an error estimate:
//   [f, err, info] = matrix_pfq(a, b, x [, y], name, value, ...)
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "mex.h"
#include "gateway_args.h"
#include "host_interrupt.h"
#include "matrix_argument.h"
#include "matrixhyper/matrix_pfq.h"
#include "options.h"

using namespace gateway;

enum { NUM_PARAMS, DEN_PARAMS, POINTS_X, POINTS_Y };

// The largest max_degree a caller may ask for: the scalar series' own cap,
// far beyond any degree the tables or the walk reach in reasonable time.
const int max_degree_limit = 1000000;

// Class and shape of a parameter vector: real full double, a row, a column
// or empty, every value finite.
static const char *parameter_error(const mxArray *array, const char *ordinal, const char *symbols,
                                   message_buffer &message)
{
    if (!is_real_full_double(array) || !is_vector_or_empty(array)) {
        return message.format("%s input must be a real vector = (%s).", ordinal, symbols);
    }
    for (size_t i = 0; i < mxGetNumberOfElements(array); i++)
        if (!std::isfinite(mxGetPr(array)[i])) return message.format("%s input must hold finite values.", ordinal);
    return 0;
}

// The value of one option into `options`, or the message that refuses it.
static const char *read_option(const char *name, const mxArray *value,
                               matrixhyper::pfq_options &options, message_buffer &message)
{
    double number;
    if (same_name(name, "alpha")) {
        if (!read_real_scalar(value, &number) || !is_jack_parameter(number))
            return "Option 'alpha' must be a positive finite scalar.";
        options.alpha = number;
    } else if (same_name(name, "tol")) {
        if (!read_real_scalar(value, &number) || !(number > 0 && number < 1))
            return "Option 'tol' must be a scalar between 0 and 1.";
        options.tol = number;
    } else if (same_name(name, "max_degree")) {
        if (!read_real_scalar(value, &number) || !(number >= 1 && number <= max_degree_limit) ||
            number != (double)(int)number)
            return message.format("Option 'max_degree' must be a whole number from 1 to %d.",
                                  max_degree_limit);
        options.max_degree = (int)number;
    } else if (same_name(name, "log")) {
        if (!read_flag(value, &options.log_result)) return "Option 'log' must be true or false.";
    } else {
        return message.format("Unknown option '%s': the options are 'alpha', 'tol', "
                              "'max_degree' and 'log'.", name);
    }
    return 0;
}

// The name/value pairs from prhs[first] on.
static const char *options_error(int first, int nrhs, const mxArray *prhs[],
                                 matrixhyper::pfq_options &options, message_buffer &message)
{
    if ((nrhs - first) % 2 != 0) return "Options must come in name/value pairs.";
    for (int i = first; i < nrhs; i += 2) {
        char name[32];
        if (!read_text(prhs[i], name, sizeof name))
            return "Option names must be text: 'alpha', 'tol', 'max_degree' or 'log'.";
        const char *error = read_option(name, prhs[i + 1], options, message);
        if (error) return error;
    }
    return 0;
}

// The refusal of a matrix argument, named by its ordinal.
static const char *matrix_error(matrix_argument_error error, const char *ordinal,
                                message_buffer &message)
{
    switch (error) {
    case matrix_argument_error::none: return 0;
    case matrix_argument_error::complex_values:
        return message.format("%s input must be real unless it is a Hermitian matrix and alpha is 1.", ordinal);
    case matrix_argument_error::not_hermitian:
        return message.format("%s input must be symmetric (Hermitian with alpha = 1) to within %g "
                              "of its largest entry.", ordinal, hermitian_tolerance);
    case matrix_argument_error::not_finite:
        return message.format("%s input must hold finite values.", ordinal);
    case matrix_argument_error::eigen_failed:
        return message.format("%s input: the eigenvalue solver did not converge.", ordinal);
    case matrix_argument_error::eigen_overflow:
        return message.format("%s input has eigenvalues beyond the double range.", ordinal);
    default:
        return message.format("%s input must be a row or column of eigenvalues, or a square matrix.",
                              ordinal);
    }
}

// Everything a checked call asks for.
struct call_request {
    matrixhyper::pfq_options options;
    int positional;     // 3 or 4: whether y is given
    size_t n;           // eigenvalues of x (and of y)
};

// The message of the first failing check, or null; fills `request`.
static const char *argument_error(int nlhs, int nrhs, const mxArray *prhs[], call_request &request,
                                  message_buffer &message)
{
    request.positional = first_option(nrhs, prhs, 3);
    if (nrhs < 3 || request.positional > 4)
        return "matrix_pfq takes a, b and x, then optionally y, then name/value options.";
    if (nlhs > 3) return "Too many output arguments.";
    const char *error = parameter_error(prhs[NUM_PARAMS], "First", "a_1,...,a_p", message);
    if (!error) error = parameter_error(prhs[DEN_PARAMS], "Second", "b_1,...,b_q", message);
    if (!error) error = options_error(request.positional, nrhs, prhs, request.options, message);
    if (error) return error;
    request.n = eigenvalue_count(prhs[POINTS_X]);
    if (request.positional == 4 && eigenvalue_count(prhs[POINTS_Y]) != request.n)
        return "Fourth input must have as many eigenvalues as the third.";
    return 0;
}

// The eigenvalues of x and y into the problem; the message of a refusal, or null.
static const char *read_arguments(const mxArray *prhs[], const call_request &request,
                                  matrixhyper::pfq_problem &problem, message_buffer &message)
{
    const mxArray *a = prhs[NUM_PARAMS], *b = prhs[DEN_PARAMS];
    problem.a.assign(mxGetPr(a), mxGetPr(a) + mxGetNumberOfElements(a));
    problem.b.assign(mxGetPr(b), mxGetPr(b) + mxGetNumberOfElements(b));
    const bool complex_allowed = request.options.alpha == 1;
    // Eigenvalues that overflow are reported once both inputs passed their
    // own checks, so the checks keep their order whatever the values.
    problem.x.resize(request.n);
    const matrix_argument_error x_read = read_eigenvalues(prhs[POINTS_X], complex_allowed, problem.x.data());
    if (x_read != matrix_argument_error::eigen_overflow && x_read != matrix_argument_error::none)
        return matrix_error(x_read, "Third", message);
    matrix_argument_error y_read = matrix_argument_error::none;
    if (request.positional == 4) {
        problem.y.resize(request.n);
        y_read = read_eigenvalues(prhs[POINTS_Y], complex_allowed, problem.y.data());
        if (y_read != matrix_argument_error::eigen_overflow && y_read != matrix_argument_error::none)
            return matrix_error(y_read, "Fourth", message);
    }
    if (x_read != matrix_argument_error::none) return matrix_error(x_read, "Third", message);
    return matrix_error(y_read, "Fourth", message);
}

// What the core returned, in plain storage, so that nothing of the core is
// alive when the call reports an error or a warning.
struct call_outcome {
    matrixhyper::pfq_status status;
    double value, err, seconds;
    int degree, sign;
    long long partitions;
    bool converged;
    char method[64];
    char message[512];
    bool refused_input;  // a check of x or y failed: `message` holds it
};

static call_outcome evaluate(const mxArray *prhs[], const call_request &request)
{
    call_outcome outcome = {};
    matrixhyper::pfq_problem problem;
    message_buffer message;
    const char *error = read_arguments(prhs, request, problem, message);
    if (error) {
        outcome.refused_input = true;
        std::snprintf(outcome.message, sizeof outcome.message, "%s", error);
        return outcome;
    }
    matrixhyper::interrupt_check interrupt = host_interrupt_check();
    matrixhyper::pfq_options options = request.options;
    options.interrupt = &interrupt;
    options.memory_limit = table_memory_budget();
    options.threads = thread_count_setting();
    const matrixhyper::pfq_result result = matrixhyper::matrix_pfq(problem, options);
    outcome.status = result.status;
    outcome.value = result.value;
    outcome.err = result.err;
    outcome.seconds = result.info.seconds;
    outcome.degree = result.info.degree;
    outcome.sign = result.info.sign;
    outcome.partitions = result.info.partitions;
    outcome.converged = result.info.converged;
    std::snprintf(outcome.method, sizeof outcome.method, "%s", result.info.method.c_str());
    std::snprintf(outcome.message, sizeof outcome.message, "%s", result.message.c_str());
    return outcome;
}

// The info struct: degree, partitions, method, converged, time, sign.
static mxArray *info_struct(const call_outcome &outcome)
{
    const char *fields[] = {"degree", "partitions", "method", "converged", "time", "sign"};
    mxArray *info = mxCreateStructMatrix(1, 1, 6, fields);
    mxSetField(info, 0, "degree", mxCreateDoubleScalar(outcome.degree));
    mxSetField(info, 0, "partitions", mxCreateDoubleScalar((double)outcome.partitions));
    mxSetField(info, 0, "method", mxCreateString(outcome.method));
    mxSetField(info, 0, "converged", mxCreateLogicalScalar(outcome.converged));
    mxSetField(info, 0, "time", mxCreateDoubleScalar(outcome.seconds));
    mxSetField(info, 0, "sign", mxCreateDoubleScalar(outcome.sign));
    return info;
}

extern "C" void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    call_request request;
    message_buffer message;
    const char *error = argument_error(nlhs, nrhs, prhs, request, message);
    if (error) mexErrMsgIdAndTxt("matrix_pfq:invalidInput", "%s", error);

    const call_outcome outcome = evaluate(prhs, request);

    if (outcome.refused_input) mexErrMsgIdAndTxt("matrix_pfq:invalidInput", "%s", outcome.message);
    switch (outcome.status) {
    case matrixhyper::pfq_status::interrupted:
        end_interrupted_call("matrix_pfq");
    case matrixhyper::pfq_status::invalid_argument:
        mexErrMsgIdAndTxt("matrix_pfq:invalidInput", "%s", outcome.message);
        break;                                   // not reached: the error ends the call
    case matrixhyper::pfq_status::refused:
        mexErrMsgIdAndTxt("matrix_pfq:tooLarge", "%s", outcome.message);
        break;
    case matrixhyper::pfq_status::out_of_memory:
        mexErrMsgIdAndTxt("matrix_pfq:outOfMemory", "%s", outcome.message);
        break;
    case matrixhyper::pfq_status::internal_error:
        mexErrMsgIdAndTxt("matrix_pfq:internalError", "%s", outcome.message);
        break;
    case matrixhyper::pfq_status::not_converged:
        mexWarnMsgIdAndTxt("matrix_pfq:notConverged", "%s", outcome.message);
        break;
    case matrixhyper::pfq_status::converged: break;
    }

    plhs[0] = mxCreateDoubleScalar(outcome.value);
    if (nlhs >= 2) plhs[1] = mxCreateDoubleScalar(outcome.err);
    if (nlhs >= 3) plhs[2] = info_struct(outcome);
}
