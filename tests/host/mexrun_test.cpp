// mexrun end to end, run as a separate process on the toy plug-in.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>
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

std::string temporary_path(const char *prefix) {
    std::string path = std::string("/tmp/") + prefix + "_XXXXXX";
    close(mkstemp(path.data()));
    return path;
}

struct RunningMexrun {
    pid_t pid = -1;
    std::string out_path = temporary_path("mexrun_out");
    std::string err_path = temporary_path("mexrun_err");
};

// Starts mexrun with `args` (no shell in between), capturing both streams.
RunningMexrun start_mexrun(std::vector<std::string> args) {
    RunningMexrun running;
    args.insert(args.begin(), MEXRUN_PATH);
    std::vector<char *> argv;
    for (std::string &arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    int out_fd = open(running.out_path.c_str(), O_WRONLY | O_TRUNC);
    int err_fd = open(running.err_path.c_str(), O_WRONLY | O_TRUNC);
    running.pid = fork();
    if (running.pid == 0) {
        dup2(out_fd, STDOUT_FILENO);
        dup2(err_fd, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out_fd);
    close(err_fd);
    return running;
}

// Waits for mexrun to end; a status of -1 means a signal killed it.
MexrunResult finish_mexrun(const RunningMexrun &running) {
    int wait_status = 0;
    waitpid(running.pid, &wait_status, 0);
    MexrunResult run;
    run.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
    run.out = read_file(running.out_path);
    run.err = read_file(running.err_path);
    unlink(running.out_path.c_str());
    unlink(running.err_path.c_str());
    return run;
}

MexrunResult run_mexrun(std::vector<std::string> args) { return finish_mexrun(start_mexrun(args)); }

std::vector<std::string> toy_arguments(std::vector<std::string> calls) {
    calls.insert(calls.begin(), {"--path", HOSTTOY_DIR});
    return calls;
}

MexrunResult run_toy(std::vector<std::string> calls) { return run_mexrun(toy_arguments(calls)); }

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

bool appears_within(const std::string &path, double seconds) {
    for (auto start = Clock::now(); seconds_since(start) < seconds;) {
        if (access(path.c_str(), F_OK) == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

// mexrun running the toy's interrupt wait (mode 18), which creates the
// returned file once it polls the interrupt flag, then takes
// `cleanup_seconds` to stop.
std::pair<RunningMexrun, std::string> start_waiting_toy(double cleanup_seconds) {
    std::string ready = temporary_path("mexrun_ready");
    unlink(ready.c_str());
    std::string call = "hosttoy(18, '" + ready + "', " + std::to_string(cleanup_seconds) + ")";
    return {start_mexrun(toy_arguments({call})), ready};
}

bool still_running(pid_t pid) {
    int wait_status = 0;
    return waitpid(pid, &wait_status, WNOHANG) == 0;
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

TEST(Mexrun, TextAndLogicalOptionsReachThePluginAndStructsPrintByField) {
    MexrunResult run = run_toy({"info = hosttoy(15, 'tol', 1e-10, 'log', true, 'label', 'it''s')"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "info.tol = 1e-10\ninfo.log = true\ninfo.label = 'it''s'\n");
    EXPECT_EQ(run.err, "");
}

TEST(Mexrun, WarningsGoToStderrNamedByThePlugin) {
    MexrunResult run = run_toy({"a = hosttoy(16)", "hosttoy(16, true)"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "a = 1\n");
    EXPECT_EQ(run.err,
              "warning: hosttoy: 3 items of text\nwarning: hosttoy: plain\n"
              "warning: hosttoy: 3 items of text\nwarning: hosttoy: plain\n"
              "error: hosttoy: failed after 2 warnings\n");
}

// A second signal while the plug-in cleans up does not cut the cleanup short.
TEST(Mexrun, SigintStopsAPollingPluginWithStatus130) {
    auto [running, ready] = start_waiting_toy(0.5);
    ASSERT_TRUE(appears_within(ready, 10)) << "the toy never started polling";
    unlink(ready.c_str());
    auto start = Clock::now();
    kill(running.pid, SIGINT);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    kill(running.pid, SIGINT);
    MexrunResult run = finish_mexrun(running);
    EXPECT_LT(seconds_since(start), 2.0);
    EXPECT_EQ(run.status, 130);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "error: hosttoy: interrupted\n");
}

TEST(Mexrun, AThirdSignalEndsMexrunAtOnce) {
    auto [running, ready] = start_waiting_toy(5);
    ASSERT_TRUE(appears_within(ready, 10)) << "the toy never started polling";
    unlink(ready.c_str());
    auto start = Clock::now();
    // Spaced out: a signal sent while the same one is still pending counts once.
    kill(running.pid, SIGTERM);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    kill(running.pid, SIGTERM);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(still_running(running.pid));
    kill(running.pid, SIGINT);
    MexrunResult run = finish_mexrun(running);
    EXPECT_LT(seconds_since(start), 2.0);
    EXPECT_EQ(run.status, 130);
}

TEST(Mexrun, MemoryLeftByAPluginIsReportedButNotAnError) {
    MexrunResult run = run_toy({"hosttoy(6)"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "ans = 1\n");
    EXPECT_TRUE(contains(run.err, "warning: hosttoy:")) << run.err;
}

} // namespace
