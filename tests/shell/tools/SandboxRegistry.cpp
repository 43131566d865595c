// tessaly-sandbox-registry KEY NAME sz|dword VALUE
// Sets one HKEY_CURRENT_USER value in the registry that $XDG_DATA_HOME points at.

#include "platform/Environment.h"
#include "platform/Registry.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s KEY NAME sz|dword VALUE\n", argv[0]);
        return 2;
    }
    const std::string type = argv[3];
    platform::Registry& reg = platform::registry();
    long rc;
    if (type == "sz")
        rc = reg.setString(platform::RegRoot::CurrentUser, argv[1], argv[2], argv[4]);
    else if (type == "dword")
        rc = reg.setDword(platform::RegRoot::CurrentUser, argv[1], argv[2],
                          static_cast<std::uint32_t>(std::strtoul(argv[4], nullptr, 0)));
    else {
        std::fprintf(stderr, "unknown type %s\n", type.c_str());
        return 2;
    }
    if (rc != platform::kRegSuccess) {
        std::fprintf(stderr, "registry error %ld\n", rc);
        return 1;
    }
    return 0;
}
