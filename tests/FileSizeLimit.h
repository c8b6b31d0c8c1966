#pragma once

#include <csignal>
#include <sys/resource.h>

// While it lives, the process may not make a file longer than `bytes`: writes beyond the limit fail
// with EFBIG (SIGXFSZ ignored), as on a full disk, after writing what still fits.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(long long bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = m_saved;
        limited.rlim_cur = static_cast<rlim_t>(bytes);
        m_active = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool active() const { return m_active; }

private:
    rlimit m_saved{};
    void (*m_handler)(int) = nullptr;
    bool m_active = false;
};
