// qndis: the command-line analyser built on qndislib.
#include "tools/qndis/AdapterCommands.h"
#include "tools/qndis/CaptureCommand.h"
#include "tools/qndis/DemoCommand.h"
#include "tools/qndis/FilterCommand.h"
#include "tools/qndis/ToolError.h"

#include <array>
#include <cstdio>
#include <exception>
#include <new>
#include <pcap/pcap.h>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace qndis::tool;

struct Command {
    std::string_view name;
    int (*run)(std::span<const std::string> arguments);
    std::string_view usage;
};

constexpr std::array<Command, 7> Commands{{
    {"adapters", RunAdaptersCommand,
     "adapters [-D]               list the adapters with names, address, media and speed\n"
     "                              (-D, also 'qndis -D': one numbered line each; -i takes\n"
     "                              the number for the name)"},
    {"capture", RunCaptureCommand,
     "capture -i ADAPTER|N|any [-c COUNT] [--duration SECONDS] [--promisc] [-w OUT.pcap[ng]]\n"
     "          [--pcapng] [--no-lines] [-f FILTER | --filter-file FILE | FILTER...]\n"
     "          [--no-kernel-filter]\n"
     "                              capture frames, one line each, and summarise;\n"
     "                              -i any: on every adapter at once (Linux cooked frames)"},
    {"read", RunReadCommand,
     "read FILE [-c COUNT] [-w OUT.pcap[ng]] [--pcapng] [--no-lines] [-f FILTER |\n"
     "          --filter-file FILE | FILTER...]\n"
     "                              the same over a pcap or pcapng file of Ethernet,\n"
     "                              Linux cooked, raw IP or BSD loopback frames\n"
     "  capture and read show each frame with:\n"
     "    --no-lines                no frame lines, only the summary\n"
     "    -q                        a shorter line: no frame type, no link protocol for IP\n"
     "    -e                        the link header's addresses (where it has any)\n"
     "    -t                        no time stamp\n"
     "    --time=iso|epoch|delta|relative\n"
     "                              UTC date and time, seconds since 1970, since the\n"
     "                              frame before, since the first (default: local clock)\n"
     "    -v                        IPv4 TTL, id and length; TCP flags, seq and ack\n"
     "    -x | -X                   the frame's bytes in hex below it (-X: and as text)"},
    {"stats", RunStatsCommand,
     "stats -i ADAPTER|N          every statistic and property of the adapter"},
    {"send", RunSendCommand,
     "send -i ADAPTER|N --type N [--vlan ID] [--src MAC] --dst MAC --proto ID|NAME\n"
     "          [--payload HEX] [-c COUNT]\n"
     "                              build an Ethernet frame of type 1 to 7 and send it;\n"
     "                              the source is the adapter's address unless given,\n"
     "                              --vlan tags it (type 6 unless 7 is given), NAME is\n"
     "                              a link protocol word of the filters (ip, arp, ip6...)"},
    {"demo", RunDemoCommand,
     "demo                        send, capture, classify and filter a frame of every type\n"
     "                              on a private veth pair, loopback or a capture file"},
    {"filter", RunFilterCommand,
     "filter describe FILTER      parse a filter and describe it in words\n"
     "  filter save FILTER OUT      store a filter as filter records in OUT\n"
     "  filter show FILE            read a filter file (records or text) and describe it\n"
     "  filter bpf FILTER           print the kernel packet-filter program for a filter"},
}};

constexpr std::string_view FilterHelp =
    "Filters: not, and, or, parentheses over words such as:\n"
    "  src mac 00:a0:c9:14:c8:29   ether host|src|dst MAC   proto 0x0800 (or ip, arp, ip6, vlan)\n"
    "  ip   arp   ip6   vlan   tcp   udp   icmp   ipproto 89   icmp type 8\n"
    "  host 10.0.0.1   src ip 10.0.0.1   dst ip < 10.0.0.0   net 10.0.0.0/8   dst net 10.1.0.0/16\n"
    "  port 53   src port > 1023   dst port 80   contains \"GET \"   contains 08:00 at 12\n"
    "Each word brings the conditions it implies, and descriptions state them: addresses,\n"
    "ipproto, tcp, udp and icmp mean an IPv4 frame, ports an IPv4 TCP or UDP frame, icmp type\n"
    "an IPv4 ICMP frame, vlan a frame with an 802.1Q tag. No comparison passes a frame too\n"
    "short for its field; 'not' around it does. Unlike tcpdump, the IP words look through\n"
    "802.1Q tags and SNAP headers, host and net mean IPv4 only, and a non-first IPv4 fragment\n"
    "is read as if its ports or ICMP type followed the IP header (no filter kind tests the\n"
    "fragment offset). --filter-file takes stored filter records or the filter as text,\n"
    "with '#' comments.\n";

void PrintUsage(std::FILE* out) {
    std::fprintf(out, "usage: qndis COMMAND [OPTIONS] | qndis -D | qndis --version\n\nCommands:\n");
    for (const Command& command : Commands) {
        std::fprintf(out, "  %.*s\n", static_cast<int>(command.usage.size()), command.usage.data());
    }
    std::fprintf(out, "\n%.*s", static_cast<int>(FilterHelp.size()), FilterHelp.data());
}

const Command* FindCommand(std::string_view name) {
    for (const Command& command : Commands) {
        if (command.name == name) {
            return &command;
        }
    }
    return nullptr;
}

bool AsksForHelp(std::span<const std::string> arguments) {
    for (const std::string& argument : arguments) {
        if (argument == "--") {
            return false;
        }
        if (argument == "-h" || argument == "--help") {
            return true;
        }
    }
    return false;
}

int Run(const std::vector<std::string>& arguments) {
    if (arguments.empty()) {
        PrintUsage(stderr);
        return ExitUsage;
    }
    const std::string& name = arguments.front();
    if (name == "help" || name == "-h" || name == "--help") {
        PrintUsage(stdout);
        return 0;
    }
    if (name == "-D" || name == "--list-interfaces") {
        return RunAdaptersCommand(std::span(arguments));
    }
    if (name == "--version") {
        std::printf("qndis %s\n%s\n", QNDIS_VERSION, pcap_lib_version());
        return 0;
    }
    const Command* command = FindCommand(name);
    if (command == nullptr) {
        throw UsageError("unknown command '" + name + "'; 'qndis help' lists the commands.");
    }
    const std::span<const std::string> rest = std::span(arguments).subspan(1);
    if (AsksForHelp(rest)) {
        std::printf("usage: qndis %.*s\n", static_cast<int>(command->usage.size()),
                    command->usage.data());
        return 0;
    }
    return command->run(rest);
}

} // namespace

int main(int argc, char** argv) {
    try {
        const int status = Run(std::vector<std::string>(argv + 1, argv + argc));
        if (std::fflush(stdout) != 0) {
            std::fprintf(stderr, "qndis: cannot write the output.\n");
            return ExitFailure;
        }
        return status;
    } catch (const ToolError& error) {
        std::fflush(stdout);
        std::fprintf(stderr, "qndis: %s\n", error.what());
        return error.ExitCode();
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "qndis: out of memory.\n");
    } catch (const std::exception& error) {
        const std::string_view text = error.what();
        std::fprintf(stderr, "qndis: %s%s\n", error.what(), text.ends_with('.') ? "" : ".");
    }
    return ExitFailure;
}
