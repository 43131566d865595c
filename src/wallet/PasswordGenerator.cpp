#include "wallet/PasswordGenerator.h"

#include <QRandomGenerator>

#include <algorithm>
#include <utility>
#include <vector>

namespace wallet {

namespace {

constexpr CharacterClass kClasses[] = {kUpperCase, kLowerCase, kDigits, kSymbols};

// A uniform draw below `bound` from the operating system's random source.
std::size_t draw(std::size_t bound) {
    return static_cast<std::size_t>(QRandomGenerator::system()->bounded(static_cast<quint32>(bound)));
}

} // namespace

std::string ClassCharacters(CharacterClass characterClass) {
    switch (characterClass) {
    case kUpperCase:
        return "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    case kLowerCase:
        return "abcdefghijklmnopqrstuvwxyz";
    case kDigits:
        return "0123456789";
    case kSymbols:
        return "!#$%&()*+,-./:;<=>?@[]^_{|}~";
    }
    return {};
}

std::string GeneratePassword(int length, unsigned classes) {
    std::vector<std::string> chosen;
    for (CharacterClass c : kClasses)
        if (classes & c)
            chosen.push_back(ClassCharacters(c));
    if (chosen.empty())
        return {};
    const int wanted =
        std::clamp(length, std::max(kMinGeneratedLength, static_cast<int>(chosen.size())), kMaxGeneratedLength);
    std::string all;
    for (const std::string& set : chosen)
        all += set;
    // One character of every chosen class, the rest from all of them, then the places shuffled
    // (Fisher-Yates), so that no class keeps a fixed position.
    std::string password;
    for (const std::string& set : chosen)
        password += set[draw(set.size())];
    while (static_cast<int>(password.size()) < wanted)
        password += all[draw(all.size())];
    for (std::size_t i = password.size() - 1; i > 0; --i)
        std::swap(password[i], password[draw(i + 1)]);
    return password;
}

} // namespace wallet
