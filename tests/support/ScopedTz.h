// Sets the local time zone for one scope and puts the one before it back when
// the scope ends, however it ends (a failed ASSERT returns early), so that no
// zone outlives the test that chose it.
#pragma once

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

class ScopedTz {
public:
    explicit ScopedTz(const char* tz)
    {
        if (const char* old = std::getenv("TZ"))
            m_old = old;
        Set(tz);
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

    // Another zone within the same scope.
    void Set(const char* tz)
    {
        setenv("TZ", tz, 1);
        tzset();
    }

private:
    std::optional<std::string> m_old;
};
