#include "tests/qndis/QndisRun.h"

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace qndis::test {

namespace {

std::string Slurp(const std::string& path) {
    std::stringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

} // namespace

QndisResult RunProgram(const std::vector<std::string>& command) {
    const ScratchDirectory scratch;
    const std::string outName = scratch.Path("out"), errName = scratch.Path("err");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outName.c_str(), O_WRONLY | O_CREAT,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errName.c_str(), O_WRONLY | O_CREAT,
                                     0600);
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
    result.out = Slurp(outName);
    result.err = Slurp(errName);
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
