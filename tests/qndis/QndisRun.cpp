#include "tests/qndis/QndisRun.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <pcap/pcap.h>
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

void WritePcap(const std::string& path, const std::vector<PcapRecord>& records) {
    pcap_t* dead =
        pcap_open_dead_with_tstamp_precision(DLT_EN10MB, 262144, PCAP_TSTAMP_PRECISION_NANO);
    ASSERT_NE(dead, nullptr);
    pcap_dumper_t* dumper = pcap_dump_open(dead, path.c_str());
    ASSERT_NE(dumper, nullptr) << pcap_geterr(dead);
    for (const PcapRecord& record : records) {
        pcap_pkthdr header{};
        header.ts.tv_sec = static_cast<time_t>(record.nanoseconds / 1'000'000'000);
        header.ts.tv_usec = static_cast<suseconds_t>(record.nanoseconds % 1'000'000'000);
        header.caplen = static_cast<bpf_u_int32>(record.bytes.size());
        header.len = std::max(header.caplen, record.originalLength);
        pcap_dump(reinterpret_cast<u_char*>(dumper), &header, record.bytes.data());
    }
    pcap_dump_close(dumper);
    pcap_close(dead);
}

std::vector<PcapRecord> ReadPcap(const std::string& path, int* linkType) {
    std::vector<PcapRecord> records;
    char error[PCAP_ERRBUF_SIZE] = {};
    pcap_t* file =
        pcap_open_offline_with_tstamp_precision(path.c_str(), PCAP_TSTAMP_PRECISION_NANO, error);
    EXPECT_NE(file, nullptr) << path << ": " << error;
    if (file == nullptr) {
        return records;
    }
    if (linkType != nullptr) {
        *linkType = pcap_datalink(file);
    } else {
        EXPECT_EQ(pcap_datalink(file), DLT_EN10MB);
    }
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    while (pcap_next_ex(file, &header, &data) == 1) {
        records.push_back({std::vector<unsigned char>(data, data + header->caplen),
                           static_cast<std::uint64_t>(header->ts.tv_sec) * 1'000'000'000 +
                               static_cast<std::uint64_t>(header->ts.tv_usec),
                           header->len});
    }
    pcap_close(file);
    return records;
}

} // namespace qndis::test
