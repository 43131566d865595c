#pragma once
// One tessaly-cli verb: its name, its lines of the usage text and the function that runs it. Each
// verb is a file of its own (LockVerb.cpp, ShredVerb.cpp, ...); main.cpp lists them, parses the
// global options and hands the rest of the command line to the verb named.

#include <span>
#include <string>
#include <vector>

namespace cli {

// What a verb is given: the words after its name, and the global options.
struct Invocation {
    std::vector<std::string> args;
    bool passwordStdin = false;
    bool strong = false; // --strong: lock into strong locked files, and seal folders
    bool hasOnly = false; // --only PATH: take one file out of a sealed folder
    std::string only;
};

struct Verb {
    const char* name;     // "lock"; an option-like verb ("--version") is listed with the options
    const char* synopsis; // its usage line after "tessaly-cli "
    const char* summary;  // what it does, for the usage text (continuation lines start with "\n")
    int (*run)(const Invocation& invocation) = nullptr;
    // A verb that works on files with a password: main asks for the password (twice when
    // `confirmPassword`) and refuses a command line without files; `run` stays empty.
    int (*runWithPassword)(const Invocation& invocation, const std::string& password) = nullptr;
    bool confirmPassword = false;
};

extern const Verb kLockVerb;
extern const Verb kUnlockVerb;
extern const Verb kInfoVerb;
extern const Verb kVaultVerb;
extern const Verb kPasswordVerb;
extern const Verb kRecoverVerb;
extern const Verb kDriveVerb;
extern const Verb kShredVerb;
extern const Verb kVersionVerb;

// Every verb, in the order of the usage text (main.cpp).
std::span<const Verb* const> Verbs();

} // namespace cli
