#include "tests/qndis/QndisRun.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace qndis::test {

namespace {

std::string Slurp(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

} // namespace

ScratchDirectory::ScratchDirectory() {
    std::string pattern = ::testing::TempDir() + "qndis-XXXXXX";
    const char* made = mkdtemp(pattern.data());
    EXPECT_NE(made, nullptr) << "cannot make a scratch directory";
    m_path = made != nullptr ? made : ::testing::TempDir();
}

ScratchDirectory::~ScratchDirectory() {
    if (m_path.find("qndis-") != std::string::npos) {
        RunProgram({"rm", "-rf", m_path});
    }
}

QndisResult RunProgram(const std::vector<std::string>& command) {
    char outName[] = "/tmp/qndis-out-XXXXXX";
    char errName[] = "/tmp/qndis-err-XXXXXX";
    const int out = mkstemp(outName);
    const int err = mkstemp(errName);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err, STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::vector<std::string> copy = command;
    std::vector<char*> argv;
    for (std::string& argument : copy) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    pid_t child = 0;
    QndisResult result;
    if (posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(out);
    close(err);
    result.out = Slurp(outName);
    result.err = Slurp(errName);
    unlink(outName);
    unlink(errName);
    return result;
}

QndisResult RunQndis(const std::vector<std::string>& arguments,
                     const std::vector<std::string>& prefix) {
    std::vector<std::string> command = prefix;
    command.push_back(QNDIS_PROGRAM);
    command.insert(command.end(), arguments.begin(), arguments.end());
    return RunProgram(command);
}

bool ProgramExists(const std::string& name) {
    return RunProgram({"sh", "-c", "command -v " + name}).status == 0;
}

} // namespace qndis::test
