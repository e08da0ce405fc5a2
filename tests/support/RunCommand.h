#pragma once
// Runs a command line through the shell and collects its standard output and error together,
// with its exit status (-1 when it did not exit normally). POSIX only.
#include <cstdio>
#include <string>
#include <sys/wait.h>

struct CommandRun {
  int status = -1;
  std::string out; // standard output and error together
};

// program is quoted; args are passed as they stand.
inline CommandRun RunCommand(const std::string& program, const std::string& args) {
  CommandRun r;
  const std::string cmd = "'" + program + "' " + args + " 2>&1";
  FILE* pipe = popen(cmd.c_str(), "r");
  if (!pipe) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0)
    r.out.append(buf, n);
  const int raw = pclose(pipe);
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return r;
}
