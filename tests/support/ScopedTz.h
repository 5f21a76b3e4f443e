#pragma once

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace support {

// Sets TZ for its lifetime and puts back the previous value (or its absence)
// when it goes, so a failing test cannot leave its zone in force for later ones.
class ScopedTz {
public:
    explicit ScopedTz(const char* zone)
    {
        if (const char* old = std::getenv("TZ"))
            m_old = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedTz()
    {
        if (m_old)
            setenv("TZ", m_old->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    ScopedTz(const ScopedTz&) = delete;
    ScopedTz& operator=(const ScopedTz&) = delete;

private:
    std::optional<std::string> m_old;
};

} // namespace support
