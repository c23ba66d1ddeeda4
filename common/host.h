// The host layer: the only code that differs between Windows and POSIX.
// Path texts are Windows paths everywhere above this layer ("\" separates,
// names match without regard to letter case); files are opened in binary and
// the text-mode conventions are applied by text_file.h, so every host reads
// and writes the same bytes.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

// Puts the arguments in the form the programs expect: on POSIX every "/" of
// every word becomes "\"; on Windows they stay as Windows gave them.
void host_prepare_arguments(int argc, char** argv);
// One command-line word that names a path, in the form a path text has.
std::string host_path_argument(const char* word);

// Makes standard output take bytes as they are written (no newline mapping)
// and turns a console whose reader has gone into failed writes.
void host_prepare_console();

// The program's own path as the system passed it.
const char* host_program_path(char** argv);

// Opens a path text. Reading refuses anything but a regular file (a directory,
// a named pipe, a device). Both give nullptr on failure.
std::FILE* host_open_read(const char* path);
std::FILE* host_open_write(const char* path);  // an existing file is emptied

// Appends the bytes to the file (created when missing) in one append-mode
// write, so that lines of concurrent runs never tear. False on any failure.
bool host_append(const char* path, const char* bytes, std::size_t size);

struct DirectoryEntry {
  std::string name;
  bool is_directory = false;  // a directory reached without a link
  bool is_file = false;       // a regular file (through a link too)
};
// The entries of a directory, "." and ".." left out, in byte order of their
// names. False when the directory cannot be read.
bool host_list_directory(const char* path, std::vector<DirectoryEntry>& entries);

struct LocalTime {
  int year, month, day, hour, minute, second;
};
LocalTime host_local_time();
