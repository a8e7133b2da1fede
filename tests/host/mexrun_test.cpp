// mexrun end to end, run as a separate process on the toy plug-in.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

struct MexrunResult {
    int status = -1;
    std::string out;
    std::string err;
};

std::string read_file(const std::string &path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// Runs mexrun with `args` (no shell in between), capturing both streams.
MexrunResult run_mexrun(std::vector<std::string> args) {
    char out_path[] = "/tmp/mexrun_out_XXXXXX";
    char err_path[] = "/tmp/mexrun_err_XXXXXX";
    int out_fd = mkstemp(out_path);
    int err_fd = mkstemp(err_path);
    args.insert(args.begin(), MEXRUN_PATH);
    std::vector<char *> argv;
    for (std::string &arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t child = fork();
    if (child == 0) {
        dup2(out_fd, STDOUT_FILENO);
        dup2(err_fd, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int wait_status = 0;
    waitpid(child, &wait_status, 0);
    close(out_fd);
    close(err_fd);
    MexrunResult run;
    run.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
    run.out = read_file(out_path);
    run.err = read_file(err_path);
    unlink(out_path);
    unlink(err_path);
    return run;
}

MexrunResult run_toy(std::vector<std::string> calls) {
    calls.insert(calls.begin(), {"--path", HOSTTOY_DIR});
    return run_mexrun(calls);
}

bool contains(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

TEST(Mexrun, PrintsEachNamedOutputOnItsOwnLine) {
    MexrunResult run = run_toy({"[a, b] = hosttoy(1, [1 2; 3 4], 'it''s')"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "a = [1 2; 3 4]\nb = 'it''s'\n");
    EXPECT_EQ(run.err, "");
}

TEST(Mexrun, WithoutAnOutputListTheFirstOutputIsAns) {
    EXPECT_EQ(run_toy({"hosttoy(1, 0.1)"}).out, "ans = 0.1\n");
    EXPECT_EQ(run_toy({"hosttoy(1)"}).out, "");  // nothing stored
}

TEST(Mexrun, NumbersAndShapesPrintAsLiterals) {
    MexrunResult run = run_toy({"x = hosttoy(1, [1+2i -Inf NaN])", "y = hosttoy(1, zeros(0,3))",
                       "z = hosttoy(1, [2.7083333333333335; -1e-300])", "[~, w] = hosttoy(1, 1, 2)"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "x = [1+2i -Inf+0i NaN+0i]\n"
              "y = zeros(0,3)\n"
              "z = [2.7083333333333335; -1e-300]\n"
              "w = 2\n");
}

TEST(Mexrun, APluginErrorStopsTheRunWithStatus1) {
    MexrunResult run = run_toy({"a = hosttoy(1, 5)", "hosttoy(2)", "c = hosttoy(1, 7)"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "a = 5\n");
    EXPECT_EQ(run.err, "error: hosttoy: toy failure while holding memory.\n");
}

TEST(Mexrun, AnUnassignedOutputIsAPluginError) {
    MexrunResult run = run_toy({"[a, b] = hosttoy(7, 1)"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "error: hosttoy: One or more output arguments not assigned during the call.\n");
}

TEST(Mexrun, MalformedCallsRunNothingAndExitWith2) {
    MexrunResult run = run_toy({"a = hosttoy(1, 5)", "hosttoy(1 - 2)"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(contains(run.err, "malformed call")) << run.err;
    EXPECT_TRUE(contains(run.err, "hosttoy(1 - 2)")) << run.err;
}

TEST(Mexrun, AMissingPluginExitsWith2) {
    MexrunResult run = run_toy({"a = hosttoy(1, 5)", "nosuch(1)"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(contains(run.err, "nosuch.mexa64")) << run.err;
}

TEST(Mexrun, CommandLineErrors) {
    MexrunResult none = run_mexrun({});
    EXPECT_EQ(none.status, 2);
    EXPECT_TRUE(contains(none.err, "usage")) << none.err;
    EXPECT_EQ(run_mexrun({"--path"}).status, 2);
    EXPECT_EQ(run_mexrun({"--frobnicate", "f(1)"}).status, 2);
    MexrunResult help = run_mexrun({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(contains(help.out, "usage")) << help.out;
}

TEST(Mexrun, MemoryLeftByAPluginIsReportedButNotAnError) {
    MexrunResult run = run_toy({"hosttoy(6)"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "ans = 1\n");
    EXPECT_TRUE(contains(run.err, "warning: hosttoy:")) << run.err;
}

} // namespace
