#pragma once

#include <csignal>
#include <sys/resource.h>

// Limits the size of files this process writes, standing in for a full disk (the
// limit binds root as well, unlike file permissions). Writes past the limit fail
// instead of raising SIGXFSZ. Restores both on destruction.
class FileSizeLimit final
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_ok = getrlimit(RLIMIT_FSIZE, &m_saved) == 0;
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        m_ok = m_ok && setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

    bool active() const { return m_ok; }

private:
    struct rlimit m_saved = {};
    void (*m_handler)(int) = nullptr;
    bool m_ok = false;
};
