// run_mexrun.h: runs the mexrun command on calls and captures what a user
// sees: its exit status, standard output and standard error.
#ifndef TESTS_COMMON_RUN_MEXRUN_H
#define TESTS_COMMON_RUN_MEXRUN_H

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#include <sys/wait.h>
#include <unistd.h>

struct MexrunOutcome {
    int status;
    std::string out, err;
};

inline std::string read_whole_file(const std::string &path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// Runs `mexrun --path plugin_dir CALL...` (calls must not contain a single quote).
inline MexrunOutcome run_mexrun(const std::string &mexrun, const std::string &plugin_dir,
                                const std::vector<std::string> &calls)
{
    std::string base = testing::TempDir() + "mexrun_" + std::to_string(getpid());
    std::string command = "'" + mexrun + "' --path '" + plugin_dir + "'";
    for (const std::string &call : calls)
        command += " '" + call + "'";
    command += " >'" + base + ".out' 2>'" + base + ".err'";
    int raw = std::system(command.c_str());
    MexrunOutcome run{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read_whole_file(base + ".out"),
                      read_whole_file(base + ".err")};
    std::remove((base + ".out").c_str());
    std::remove((base + ".err").c_str());
    return run;
}

#endif // TESTS_COMMON_RUN_MEXRUN_H
