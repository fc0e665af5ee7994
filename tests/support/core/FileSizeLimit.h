#pragma once

// Lowers the largest file this process may write while it lives, the way a full disk stops a
// write half-way: the write fails with EFBIG instead of the process getting SIGXFSZ.

#include <csignal>
#include <sys/resource.h>

namespace quorlane::test {

class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t Bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &FOld);
        FOldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit Limit = FOld;
        Limit.rlim_cur = Bytes;
        FActive = ::setrlimit(RLIMIT_FSIZE, &Limit) == 0;
    }
    ~TFileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &FOld);
        std::signal(SIGXFSZ, FOldHandler);
    }
    TFileSizeLimit(const TFileSizeLimit&) = delete;
    TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;
    [[nodiscard]] bool Active() const { return FActive; }

private:
    rlimit FOld{};
    void (*FOldHandler)(int) = SIG_DFL;
    bool FActive = false;
};

} // namespace quorlane::test
