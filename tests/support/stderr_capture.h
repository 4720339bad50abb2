#pragma once
// Standard error (file descriptor 2) redirected into a temporary file from
// construction until Stop(), which gives back what was written meanwhile.
#include <cstdio>
#include <string>
#include <unistd.h>

class StderrCapture {
public:
    StderrCapture()
    {
        std::fflush(stderr);
        m_file = std::tmpfile();
        m_saved = ::dup(2);
        if (m_file && m_saved >= 0)
            ::dup2(::fileno(m_file), 2);
    }
    ~StderrCapture()
    {
        Stop();
        if (m_file)
            std::fclose(m_file);
    }
    StderrCapture(const StderrCapture &) = delete;
    StderrCapture &operator=(const StderrCapture &) = delete;

    std::string Stop()
    {
        if (m_saved >= 0) {
            std::fflush(stderr);
            ::dup2(m_saved, 2);
            ::close(m_saved);
            m_saved = -1;
        }
        std::string text;
        if (m_file) {
            std::rewind(m_file);
            char buffer[4096];
            size_t n;
            while ((n = std::fread(buffer, 1, sizeof buffer, m_file)) > 0)
                text.append(buffer, n);
        }
        return text;
    }

private:
    std::FILE *m_file = nullptr;
    int m_saved = -1;
};
