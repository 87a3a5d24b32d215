#include "tools/qndis/PrivateNetwork.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sched.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace qndis::tool {

namespace {

constexpr const char* SendEnd = "qndis0";
constexpr const char* CaptureEnd = "qndis1";

// Runs `ip` with the given arguments, without a shell, and tells whether it
// succeeded.
bool RunIp(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "ip");
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawnp(&child, "ip", nullptr, nullptr, argv.data(), environ) != 0) {
        return false;
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void WriteSetting(const char* path, const char* value) {
    std::ofstream setting(path);
    setting << value;
}

// Both ends report "up" only once the pair has finished coming up; frames
// sent before that are dropped.
bool WaitUntilUp(const std::string& name) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (std::chrono::steady_clock::now() < deadline) {
        std::ifstream state("/sys/class/net/" + name + "/operstate");
        std::string text;
        if (state >> text && text == "up") {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

} // namespace

bool BringUpLoopback() {
    return RunIp({"link", "set", "lo", "up"});
}

std::optional<PrivateNetwork> EnterPrivateNetwork(std::string& why) {
    if (geteuid() != 0) {
        why = "not running as root";
        return std::nullopt;
    }
    if (unshare(CLONE_NEWNET | CLONE_NEWNS) != 0) {
        why = std::string("cannot create private namespaces (") + std::strerror(errno) + ")";
        return std::nullopt;
    }
    // Without this the sysfs mount below would propagate to the namespace
    // we came from and hide its interfaces there.
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        why = std::string("cannot make the mounts private (") + std::strerror(errno) + ")";
        return std::nullopt;
    }
    // The old /sys still shows the interfaces of the namespace we left.
    if (mount("sysfs", "/sys", "sysfs", 0, nullptr) != 0) {
        why = std::string("cannot mount a private /sys (") + std::strerror(errno) + ")";
        return std::nullopt;
    }
    // IPv6 would greet every new link with its own frames; the demo's
    // capture should show only the frames it sends.
    WriteSetting("/proc/sys/net/ipv6/conf/all/disable_ipv6", "1");
    WriteSetting("/proc/sys/net/ipv6/conf/default/disable_ipv6", "1");
    BringUpLoopback();
    if (!RunIp({"link", "add", SendEnd, "type", "veth", "peer", "name", CaptureEnd}) ||
        !RunIp({"link", "set", SendEnd, "up"}) || !RunIp({"link", "set", CaptureEnd, "up"})) {
        why = "cannot create a veth pair (is iproute2 installed?)";
        return std::nullopt;
    }
    if (!WaitUntilUp(SendEnd) || !WaitUntilUp(CaptureEnd)) {
        why = "the veth pair did not come up";
        return std::nullopt;
    }
    return PrivateNetwork{SendEnd, CaptureEnd};
}

} // namespace qndis::tool
