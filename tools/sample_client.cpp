// A stand-in for a game client (and, served as a new updater, for the updater
// itself): it records each start, with the name it was started under, in
// "started.txt" in its working directory, and ends.
#include <cstdio>

int main(int argc, char** argv) {
  std::FILE* record = std::fopen("started.txt", "ab");
  if (record == nullptr) return 2;
  std::fprintf(record, "started as %s\n", argc > 0 ? argv[0] : "?");
  std::fclose(record);
  return 0;
}
