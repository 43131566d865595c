#pragma once
// A recording xdg-open first on PATH: each call appends its argument, one a line, to a log file in
// the sandbox. PATH is put back when the stub goes.

#include "support/Sandbox.h"

#include <string>
#include <vector>

namespace testing_support {

class OpenerStub final {
public:
    explicit OpenerStub(const Sandbox& sandbox);
    ~OpenerStub();
    OpenerStub(const OpenerStub&) = delete;
    OpenerStub& operator=(const OpenerStub&) = delete;
    // The arguments recorded so far, after waiting (up to a few seconds) for `expected` calls.
    std::vector<std::string> calls(std::size_t expected) const;

private:
    std::string m_log;
    std::string m_savedPath;
};

} // namespace testing_support
