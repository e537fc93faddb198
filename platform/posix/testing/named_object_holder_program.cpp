// kivro_test_named_object_holder mutex NAME READY
// kivro_test_named_object_holder section NAME TEXT READY
// For tests: holds a named mutex, or a 512-byte section holding TEXT, as
// another program would, and creates READY once it does. It ends when
// killed or when its parent ends.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/named_mutex.h"
#include "platform/shared_memory.h"

int main(int argc, char** argv) {
  platform::NamedMutex mutex;
  platform::SharedMemory section;
  std::string kind = argc > 1 ? argv[1] : "";
  const char* ready = nullptr;
  if (kind == "mutex" && argc == 4) {
    if (!mutex.Create(argv[2])) return 1;
    ready = argv[3];
  } else if (kind == "section" && argc == 5) {
    if (!section.CreateOrOpen(argv[2], 512)) return 1;
    char* view = static_cast<char*>(section.Map());
    if (view == nullptr) return 1;
    std::strncpy(view, argv[3], 511);
    ready = argv[4];
  } else {
    std::fprintf(stderr, "usage: %s mutex NAME READY | section NAME TEXT READY\n", argv[0]);
    return 2;
  }
  if (FILE* f = std::fopen(ready, "w")) std::fclose(f);
  pid_t parent = getppid();
  while (getppid() == parent) usleep(50000);
  return 0;
}
