#pragma once
// Sets an environment variable (or clears it, for a null value) for the scope, then puts it back.

#include <cstdlib>
#include <optional>
#include <string>

namespace testing_support {

class ScopedEnv final {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* v = std::getenv(name))
            m_saved = v;
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedEnv() { m_saved ? ::setenv(m_name, m_saved->c_str(), 1) : ::unsetenv(m_name); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_saved;
};

} // namespace testing_support
