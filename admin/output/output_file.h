// A file a QVADMIN command writes. QVADMIN never writes over a file it did
// not make: the file must not exist yet, or be one QVADMIN wrote (its head
// holds the command's marker). A name of the checker's activity logs
// (QEL????.LOG in any letter case) is never written, nor a file the run
// reads, whatever path names it (the host tells files apart by identity).
// A file replaced keeps its permissions.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "common/host.h"

class OutputFile {
 public:
  // Looks at path once: whether it exists, holds the marker, can be read.
  OutputFile(std::string path, std::string marker);

  const std::string& path() const { return path_; }
  // Why the file may not be written, or "" while it may.
  const std::string& refusal() const { return refusal_; }
  // A file the run reads: should it be this file, it is never written.
  void reading(std::FILE* file);
  // Puts the bytes in place of the file, whole or not at all. False, with
  // the reason in why, when the file is refused or cannot be written.
  bool write(const std::string& bytes, std::string& why);

 private:
  std::string path_;
  std::string refusal_;
  bool exists_ = false;
  FileIdentity identity_;
};

// The head of a file, as far as a marker is looked for in it.
inline constexpr std::size_t kMarkerSearch = 4096;
