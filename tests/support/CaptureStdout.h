#pragma once
// Captures what this process writes to standard output (file descriptor 1) while it lives, also
// what a loaded module prints through the same C runtime; line ends read as "\n" everywhere.

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include <fcntl.h>
#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

class CaptureStdout {
public:
  explicit CaptureStdout(std::string path) : path_(std::move(path)) {
    fflush(stdout);
#if defined(_WIN32)
    saved_ = _dup(1);
    const int file = _open(path_.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC, 0600);
    _dup2(file, 1);
    _close(file);
#else
    saved_ = dup(1);
    const int file = open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(file, 1);
    close(file);
#endif
  }
  ~CaptureStdout() {
    Stop();
  }
  CaptureStdout(const CaptureStdout&) = delete;
  CaptureStdout& operator=(const CaptureStdout&) = delete;

  // Ends the capture (once) and returns what was written.
  std::string Stop() {
    if (saved_ >= 0) {
      fflush(stdout);
#if defined(_WIN32)
      _dup2(saved_, 1);
      _close(saved_);
#else
      dup2(saved_, 1);
      close(saved_);
#endif
      saved_ = -1;
      std::ifstream f(path_, std::ios::binary);
      text_.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
      f.close();
      std::remove(path_.c_str());
#if defined(_WIN32)
      // Standard output is in text mode there: every "\n" arrived as "\r\n".
      std::string lines;
      for (size_t i = 0; i < text_.size(); ++i)
        if (!(text_[i] == '\r' && i + 1 < text_.size() && text_[i + 1] == '\n')) lines += text_[i];
      text_ = lines;
#endif
    }
    return text_;
  }

private:
  std::string path_, text_;
  int saved_ = -1;
};
