// Writes one seed file per record shape: a record of every kind, odd
// switches and names, and nested compounds.

#include "qndislib/filter/CompoundFilter.h"
#include "qndislib/filter/ContentFilter.h"
#include "qndislib/filter/DstMACFilter.h"
#include "qndislib/filter/ICMPTypeFilter.h"
#include "qndislib/filter/IPAddrFilter.h"
#include "qndislib/filter/IPPortFilter.h"
#include "qndislib/filter/IPSubprotocolFilter.h"
#include "qndislib/filter/ProtocolFilter.h"
#include "qndislib/filter/SrcMACFilter.h"

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using Seed = std::pair<std::string, std::unique_ptr<CFilter>>;

std::vector<Seed> Seeds() {
    unsigned char get[] = {'G', 'E', 'T', ' '};
    unsigned char type[] = {0x08, 0x00};
    std::vector<Seed> seeds;
    seeds.emplace_back("src-mac", new CSrcMACFilter("00:a0:c9:14:c8:29", "station", false));
    seeds.emplace_back("dst-mac", new CDstMACFilter("FFFFFFFFFFFF", "", true));
    seeds.emplace_back("protocol", new CProtocolFilter(CProtocolId("AAAA030800"), "snap", false));
    seeds.emplace_back("subprotocol", new CIPSubprotocolFilter(17, "udp", false));
    seeds.emplace_back("ip-addr", new CIPAddrFilter("192.168.0.1", 12, OperationLess, "lan", true));
    seeds.emplace_back("ip-port", new CIPPortFilter(80, CIPPortFilter::PortDestination,
                                                    OperationEqual, "web", false));
    seeds.emplace_back("content-anywhere",
                       new CContentFilter(get, 4, CContentFilter::Anywhere, "http", false));
    seeds.emplace_back("content-offset", new CContentFilter(type, 2, 12, "", false));
    seeds.emplace_back("icmp", new CICMPTypeFilter(8, "echo", false));

    auto web = std::make_unique<CCompoundFilter>(CCompoundFilter::OperatorAnd, "web");
    web->Add(CProtocolFilter(CProtocolId("0800"), "", false));
    web->Add(CIPSubprotocolFilter(6, "", false));
    web->Add(CIPPortFilter(80, CIPPortFilter::PortDestination, OperationEqual, "", false));
    auto nested = std::make_unique<CCompoundFilter>(CCompoundFilter::OperatorOr, "any", true);
    nested->Add(*web);
    nested->Add(CContentFilter(get, 4, CContentFilter::Anywhere, "", false));
    auto disabled = std::make_unique<CICMPTypeFilter>(0, "off", false);
    disabled->SetEnabled(false);
    nested->Add(disabled.release());
    auto deep = std::make_unique<CCompoundFilter>();
    deep->Add(*nested);
    deep->Add(CCompoundFilter(CCompoundFilter::OperatorOr));
    seeds.emplace_back("compound-and", std::move(web));
    seeds.emplace_back("compound-nested", std::move(nested));
    seeds.emplace_back("compound-deep", std::move(deep));
    seeds.emplace_back("compound-empty", new CCompoundFilter(CCompoundFilter::OperatorOr));
    return seeds;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
        return 2;
    }
    for (const auto& [name, filter] : Seeds()) {
        ktools::CMemoryBuffer buffer;
        filter->Pack(buffer);
        std::ofstream file(std::string(argv[1]) + "/" + name, std::ios::binary);
        file.write(reinterpret_cast<const char*>(buffer.GetData()), buffer.GetSize());
        if (!file) {
            std::perror(name.c_str());
            return 1;
        }
    }
    return 0;
}
