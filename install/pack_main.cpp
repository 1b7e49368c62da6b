// pj-pack OUT PROGRAM [--file NUMBER NAME PATH]... [--resource NUMBER PATH]...
//
// Writes OUT: PROGRAM with the carried files appended (install/container.h).
// Each --file is a product file installed as NAME (relative, '/' between
// folders) and listed in the payload index in the order given; each
// --resource is carried under its number without an index line (the remover,
// the licence text).
#include "install/container.h"
#include "install/product.h"

#include <fstream>
#include <iostream>

using namespace pj::install;

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: pj-pack OUT PROGRAM [--file NUMBER NAME PATH]... "
                     "[--resource NUMBER PATH]...\n";
        return 2;
    }
    const fs::path out = argv[1];
    const fs::path program = argv[2];
    std::vector<PayloadEntry> index;
    std::vector<std::pair<int, fs::path>> resources;
    for (int i = 3; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--file" && i + 3 < argc) {
            const int number = std::stoi(argv[i + 1]);
            index.push_back({number, argv[i + 2]});
            resources.emplace_back(number, argv[i + 3]);
            i += 3;
        } else if (a == "--resource" && i + 2 < argc) {
            resources.emplace_back(std::stoi(argv[i + 1]), argv[i + 2]);
            i += 2;
        } else {
            std::cerr << "pj-pack: bad argument " << a << '\n';
            return 2;
        }
    }
    std::string error;
    const std::string indexText = formatPayloadIndex(index);
    if (!parsePayloadIndex(indexText, error)) {
        std::cerr << "pj-pack: " << error << '\n';
        return 1;
    }
    const fs::path indexFile = fs::path(out).concat(".index");
    {
        std::ofstream f(indexFile, std::ios::binary | std::ios::trunc);
        f << indexText;
        if (!f) {
            std::cerr << "pj-pack: cannot write " << indexFile << '\n';
            return 1;
        }
    }
    resources.emplace_back(kPayloadIndexResource, indexFile);
    if (!writeContainerFile(out, program, resources, error)) {
        std::cerr << "pj-pack: " << error << '\n';
        return 1;
    }
    return 0;
}
