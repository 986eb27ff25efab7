// A stand-in for the game client (and for a newly delivered updater): it only
// records that it was started, and from where, in "started.txt".
#include <cstdio>

int main(int argc, char** argv) {
  std::FILE* record = std::fopen("started.txt", "ab");
  if (record == nullptr) return 2;
  std::fprintf(record, "%s\n", argc > 0 ? argv[0] : "?");
  std::fclose(record);
  return 0;
}
