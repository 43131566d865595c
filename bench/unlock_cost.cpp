// The cost of unlocking the program: checking the application password against its verifier and
// deriving the wallet's key from it (Argon2id both), as the password window does, on a wallet of
// twenty entries. Prints one line per round: the milliseconds of that unlock.
// Usage: bench_unlock_cost ROUNDS    (in a sandbox: HOME and the XDG variables set by bench/unlock)

#include "core/AppPassword.h"
#include "core/SealKey.h"
#include "platform/Environment.h"
#include "wallet/Wallet.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    const std::string password = "bench application password";
    if (!core::WriteAppPassword(password) || !wallet::OpenWallet(password).empty()) {
        std::fprintf(stderr, "bench_unlock_cost: the sandbox's registry could not be written\n");
        return 1;
    }
    for (int i = 0; i < 20; ++i)
        wallet::passWordAdd("entry " + std::to_string(i), {"server", "user", "password " + std::to_string(i), "notes"});
    for (int round = 0; round < rounds; ++round) {
        core::ClearSessionKey();
        platform::resetEnvironment();
        const auto t0 = std::chrono::steady_clock::now();
        const bool right = core::CheckAppPassword(password);
        const std::string problem = wallet::OpenWallet(password);
        const auto t1 = std::chrono::steady_clock::now();
        if (!right || !problem.empty() || wallet::ReadWalletEntry("entry 7").password != "password 7") {
            std::fprintf(stderr, "bench_unlock_cost: the unlock failed\n");
            return 1;
        }
        std::printf("%lld\n",
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(t1 - t0).count()));
    }
    core::ClearSessionKey();
    return 0;
}
